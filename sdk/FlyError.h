#pragma once
#include <string>

#include "sdk/FlyCapture2.h"

// "FlyCapture API Error <type>: <description> (<file> <line>)", the form in
// which SDK errors appear in log lines and exception texts.
std::string FormatFlyError(const FlyCapture2::Error& error);
