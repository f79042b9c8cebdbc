#pragma once
#include <string>

namespace vq {

// The parameter a host property name addresses: "Exposure" is the parameter
// "AutoExposure"; every other name stands for itself (exact, case-sensitive).
std::string TranslatePropertyName(const std::string& hostName);

}  // namespace vq
