// Format7: which Format7 modes the camera supports with their limits, the
// configured region, packet size and pixel format as parameters, and writing
// the configuration back (which is what puts the camera into Format7).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "features/CameraFeatures.h"
#include "features/ConstraintFormat7.h"
#include "features/FeatureTables.h"
#include "params/DcamImageSizes.h"
#include "params/ParamEnum.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

constexpr const char* kGroup = "Format7";
// What a camera that cannot report its configuration is assumed to use.
constexpr unsigned int kPresetPacketSize = 1500;
constexpr float kPresetPercentage = 100.0f;

ParamEnum& EnumParam(CameraParameters& params, const char* name) {
  return dynamic_cast<ParamEnum&>(params.GetParam(name));
}

std::string ModeLabel(unsigned int mode) {
  char label[32];
  std::snprintf(label, sizeof label, "Mode %d", static_cast<int>(mode));
  return label;
}

}  // namespace

void CameraFeatures::GetSupportedFmt7Modes() {
  _modes.format7Modes.clear();
  for (int mode = 0; mode < FlyCapture2::NUM_MODES; ++mode) {
    FlyCapture2::Format7Info info;
    info.mode = static_cast<FlyCapture2::Mode>(mode);
    bool supported = false;
    FlyCapture2::Error error = _flyCamera->GetFormat7Info(&info, &supported);
    if (error != FlyCapture2::PGRERROR_OK) {
      WriteLog(_context, kLogError, "Camera::GetSupportedFmt7Modes: ERROR: Failed to get format 7 info %s: %s\n",
               Tag().c_str(), FormatFlyError(error).c_str());
      continue;
    }
    if (supported) _modes.format7Modes.push_back(info);
  }
}

const FlyCapture2::Format7Info& CameraModes::Format7Info(int mode) const {
  for (const FlyCapture2::Format7Info& info : format7Modes) {
    if (info.mode == mode) return info;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Camera::GetFormat7Info: Mode %d not supported", mode);
  throw std::runtime_error(text);
}

bool CameraFeatures::GetFlyFormat7Configuration() {
  WriteLog(_context, kLogDetail, "Camera::GetFlyFormat7Configuration\n");
  FlyCapture2::Format7ImageSettings settings;
  unsigned int packetSize = kPresetPacketSize;
  float percentage = kPresetPercentage;
  if (_flyCamera->GetFormat7Configuration(&settings, &packetSize, &percentage) != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError,
             "WARNING: format7 configuration not available from FlyCapture. Will create Format7 parameters anyway, "
             "%s\n",
             Tag().c_str());
    // Whatever the failed call left in them does not count.
    settings = FlyCapture2::Format7ImageSettings();
    packetSize = kPresetPacketSize;
  }

  // The limits of the configured mode, when the camera has it; the ranges
  // below are set only when the parameters are created.
  FlyCapture2::Format7Info limits;
  const bool creating = !_parameters.HasParam("Fmt7Mode");
  if (creating) {
    GetSupportedFmt7Modes();
    auto fmt7Mode = std::make_unique<ParamEnum>(kGroup, "Fmt7Mode", "");
    for (const FlyCapture2::Format7Info& info : _modes.format7Modes) {
      fmt7Mode->AddOption(ModeLabel(info.mode), info.mode);
      if (info.mode == settings.mode) limits = info;
    }
    fmt7Mode->SelectByValue(settings.mode);
    _parameters.AddParam(fmt7Mode.release());
  }

  SetParameter<unsigned>("offsetX", settings.offsetX, 0, limits.maxWidth);
  SetParameter<unsigned>("offsetY", settings.offsetY, 0, limits.maxHeight);
  SetParameter<unsigned>("width", settings.width, 0, limits.maxWidth);
  SetParameter<unsigned>("height", settings.height, 0, limits.maxHeight);
  SetParameter<unsigned>("Fmt7PacketSize", packetSize, limits.minPacketSize, limits.maxPacketSize);

  if (creating) {
    _parameters.AddParam(new ParamEnum(kGroup, "Fmt7PixelFormat", ""));
    auto* format7 = new ConstraintFormat7(_modes);
    _parameters.AddConstraint(format7);
    // Throws for a camera without the selected mode (one without Format7).
    format7->Apply(_parameters);
  }
  EnumParam(_parameters, "Fmt7PixelFormat").SelectByValue(PixelFormatOptionValue(settings.pixelFormat));
  return true;
}

bool CameraFeatures::SetFlyFormat7Configuration() {
  if (!_parameters.HasParam("Fmt7Mode") || EnumParam(_parameters, "DCAMVideoMode").GetValue() != Format7VideoMode)
    return true;
  WriteLog(_context, kLogDetail, "Camera::SetFlyFormat7Configuration\n");

  FlyCapture2::Format7ImageSettings settings;
  settings.mode = static_cast<FlyCapture2::Mode>(EnumParam(_parameters, "Fmt7Mode").GetValue());
  settings.offsetX = GetParameter<unsigned>("offsetX");
  settings.offsetY = GetParameter<unsigned>("offsetY");
  settings.height = GetParameter<unsigned>("height");
  settings.width = GetParameter<unsigned>("width");
  settings.pixelFormat = static_cast<FlyCapture2::PixelFormat>(
      static_cast<uint32_t>(EnumParam(_parameters, "Fmt7PixelFormat").GetValue()));
  const unsigned int packetSize = GetParameter<unsigned>("Fmt7PacketSize");

  FlyCapture2::Error error = _flyCamera->SetFormat7Configuration(&settings, packetSize);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError,
             "Camera::SetFlyFormat7Configuration: ERROR: Failed to set format7 configuration %s: %s\n", Tag().c_str(),
             FormatFlyError(error).c_str());
    return false;
  }
  return true;
}

}  // namespace vq
