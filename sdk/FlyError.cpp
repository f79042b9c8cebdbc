#include "sdk/FlyError.h"

std::string FormatFlyError(const FlyCapture2::Error& error) {
  return "FlyCapture API Error " + std::to_string(static_cast<int>(error.GetType())) + ": " + error.GetDescription() +
         " (" + error.GetFilename() + " " + std::to_string(error.GetLine()) + ")";
}
