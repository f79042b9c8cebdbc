#include "features/FeatureTables.h"

namespace vq {

using namespace FlyCapture2;

const FlyPropertyRow FlyPropertyTable[FlyPropertyTableSize] = {
    {"Brightness", BRIGHTNESS},
    {"AutoExposure", AUTO_EXPOSURE},
    {"Sharpness", SHARPNESS},
    {"WhiteBalance", WHITE_BALANCE},
    {"Hue", HUE},
    {"Saturation", SATURATION},
    {"Gamma", GAMMA},
    {"Iris", IRIS},
    {"Focus", FOCUS},
    {"Zoom", ZOOM},
    {"Pan", PAN},
    {"Tilt", TILT},
    {"Shutter", SHUTTER},
    {"Gain", GAIN},
    {"FrameRate", FRAME_RATE},
    {"Temperature", TEMPERATURE},
};

const char* const VideoModeNames[NUM_VIDEOMODES] = {
    "160x120YUV444", "320x240YUV422",   "640x480YUV411", "640x480YUV422",  "640x480RGB",   "640x480Y8",
    "640x480Y16",    "800x600YUV422",   "800x600RGB",    "800x600Y8",      "800x600Y16",   "1024x768YUV422",
    "1024x768RGB",   "1024x768Y8",      "1024x768Y16",   "1280x960YUV422", "1280x960RGB",  "1280x960Y8",
    "1280x960Y16",   "1600x1200YUV422", "1600x1200RGB",  "1600x1200Y8",    "1600x1200Y16", "FORMAT7",
};

const char* const FrameRateNames[FrameRateNameCount] = {
    "1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps", "120 fps", "240 fps",
};

const char* FrameRateName(int64_t rate) {
  return rate >= 0 && rate < static_cast<int64_t>(FrameRateNameCount) ? FrameRateNames[rate] : nullptr;
}

const char* const TriggerStrobeNames[TriggerStrobeNameCount] = {
    "TriggerOn", "TriggerMode1",   "TriggerPolarity", "TriggerSource",  "TriggerParameter",
    "StrobeOn",  "StrobePolarity", "StrobeDelay",     "StrobeDuration", "GPIODirection",
};

std::string PinParamName(TriggerStrobeName base, unsigned pin) {
  return TriggerStrobeNames[base] + std::to_string(pin);
}

}  // namespace vq
