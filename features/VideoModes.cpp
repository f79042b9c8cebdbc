// The fixed DCAM video modes and frame rates: which the camera supports, the
// current choice as the enumerations "DCAMVideoMode" and "DCAMFrameRate", and
// writing that choice back.
#include <memory>

#include "features/CameraFeatures.h"
#include "features/ConstraintFrameRate.h"
#include "features/FeatureTables.h"
#include "params/ConstraintEnumOff.h"
#include "params/DcamImageSizes.h"
#include "params/ParamEnum.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

constexpr const char* kGroup = "DCAM Formats";

ParamEnum& EnumParam(CameraParameters& params, const char* name) {
  return dynamic_cast<ParamEnum&>(params.GetParam(name));
}

// The Format7 parameters that are in force only while the video mode is Format7.
ConstraintEnumOff* Format7InForceOnlyInFormat7() {
  return new ConstraintEnumOff(
      "DCAMVideoMode", "FORMAT7", false,
      {"Fmt7Mode", "height", "width", "offsetX", "offsetY", "Fmt7PacketSize", "Fmt7PixelFormat"});
}

}  // namespace

bool IsGeometryParameter(const std::string& name) {
  static const char* const kGeometry[] = {"DCAMVideoMode",   "DCAMFrameRate",  "Fmt7Mode",
                                          "Fmt7PixelFormat", "Fmt7PacketSize", "width",
                                          "height",          "offsetX",        "offsetY"};
  for (const char* geometry : kGeometry)
    if (name == geometry) return true;
  return false;
}

void CameraFeatures::GetSupportedVideoModes() {
  for (int mode = 0; mode < FlyCapture2::NUM_VIDEOMODES; ++mode) {
    _modes.videoModes[mode].clear();
    for (int rate = 0; rate < FlyCapture2::NUM_FRAMERATES; ++rate) {
      bool supported = false;
      FlyCapture2::Error error = _flyCamera->GetVideoModeAndFrameRateInfo(
          static_cast<FlyCapture2::VideoMode>(mode), static_cast<FlyCapture2::FrameRate>(rate), &supported);
      if (error != FlyCapture2::PGRERROR_OK) {
        WriteLog(_context, kLogDetail,
                 "Camera::GetSupportedVideoModes: WARNING: Failed to get video mode (%d, %d) info: %s\n", mode, rate,
                 FormatFlyError(error).c_str());
      } else if (supported) {
        WriteLog(_context, kLogInfo, "Info: Supported video mode (%d, %d)\n", mode, rate);
        _modes.videoModes[mode].push_back(static_cast<FlyCapture2::FrameRate>(rate));
      }
    }
  }
  // Format7 is always on offer; its region is checked when it is written.
  _modes.videoModes[FlyCapture2::VIDEOMODE_FORMAT7].push_back(FlyCapture2::FRAMERATE_FORMAT7);
}

bool CameraFeatures::GetFlyVideoMode() {
  WriteLog(_context, kLogDetail, "Camera::GetFlyVideoMode\n");
  FlyCapture2::VideoMode mode;
  FlyCapture2::FrameRate rate;
  FlyCapture2::Error error = _flyCamera->GetVideoModeAndFrameRate(&mode, &rate);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "Camera::GetFlyVideoMode: ERROR: Failed to get video mode %s, %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    return false;
  }

  // The camera's modes are probed once, when the parameter is created; a
  // later read (a reopen) keeps the options and reselects the value.
  if (!_parameters.HasParam("DCAMVideoMode")) {
    GetSupportedVideoModes();
    auto videoMode = std::make_unique<ParamEnum>(kGroup, "DCAMVideoMode", "");
    for (int option = 0; option < FlyCapture2::NUM_VIDEOMODES; ++option) {
      if (!_modes.videoModes[option].empty()) videoMode->AddOption(VideoModeNames[option], option);
    }
    _parameters.AddParam(videoMode.release());
    _parameters.AddConstraint(Format7InForceOnlyInFormat7());
  }
  EnumParam(_parameters, "DCAMVideoMode").SelectByValue(mode);

  if (!_parameters.HasParam("DCAMFrameRate")) {
    _parameters.AddParam(new ParamEnum(kGroup, "DCAMFrameRate", ""));
    auto* frameRates = new ConstraintFrameRate(_modes);
    _parameters.AddConstraint(frameRates);
    frameRates->Apply(_parameters);
  }
  EnumParam(_parameters, "DCAMFrameRate").SelectByValue(rate);
  return true;
}

bool CameraFeatures::SetFlyVideoMode() {
  WriteLog(_context, kLogDetail, "Camera::SetFlyVideoMode\n");
  const int64_t mode = EnumParam(_parameters, "DCAMVideoMode").GetValue();
  const int64_t rate = EnumParam(_parameters, "DCAMFrameRate").GetValue();
  // Format7 is entered by writing the Format7 configuration.
  if (mode == Format7VideoMode) return true;

  FlyCapture2::Error error = _flyCamera->SetVideoModeAndFrameRate(static_cast<FlyCapture2::VideoMode>(mode),
                                                                  static_cast<FlyCapture2::FrameRate>(rate));
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "Camera::SetFlyVideoMode: ERROR: Failed to set video mode %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    return false;
  }
  return true;
}

}  // namespace vq
