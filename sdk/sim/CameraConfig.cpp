#include "sdk/sim/CameraConfig.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "sdk/sim/VideoModeTable.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

std::string Text(const char* format, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

std::string FormatName(PixelFormat format) {
  const char* name = PixelFormatName(format);
  return name ? name : Text("0x%08llx", format);
}

std::string CheckVideoModes(const CameraConfig& camera) {
  std::set<VideoMode> seen;
  for (const auto& entry : camera.videoModes) {
    if (entry.mode < 0 || entry.mode >= VIDEOMODE_FORMAT7)
      return Text("video mode %llu is not a fixed mode", static_cast<unsigned>(entry.mode));
    if (!seen.insert(entry.mode).second)
      return std::string("video mode ") + VideoModeName(entry.mode) + " is listed twice";
    if (entry.frameRates.empty()) return std::string("video mode ") + VideoModeName(entry.mode) + " has no frame rate";
    std::set<FrameRate> rates;
    for (FrameRate rate : entry.frameRates) {
      if (rate < 0 || rate >= FRAMERATE_FORMAT7)
        return std::string("video mode ") + VideoModeName(entry.mode) +
               Text(" has an invalid frame rate %llu", static_cast<unsigned>(rate));
      if (!rates.insert(rate).second)
        return std::string("video mode ") + VideoModeName(entry.mode) + " lists " + FrameRateName(rate) + " twice";
    }
  }
  return {};
}

std::string CheckFormat7Mode(const Format7ModeConfig& mode) {
  std::string name = Text("Format7 mode %llu", mode.mode);
  if (mode.mode >= NUM_MODES) return name + " is out of range (0 to 31)";
  if (mode.maxWidth == 0 || mode.maxHeight == 0) return name + " has no maximum size";
  if (!mode.offsetHStep || !mode.offsetVStep || !mode.imageHStep || !mode.imageVStep)
    return name + " has a step size of 0";
  if (mode.pixelFormats.empty()) return name + " has no pixel format";
  for (PixelFormat format : mode.pixelFormats)
    if (!IsSimulatedPixelFormat(format)) return name + ": pixel format " + FormatName(format) + " is not simulated";
  if (mode.minPacketSize == 0 || mode.minPacketSize > mode.defaultPacketSize ||
      mode.defaultPacketSize > mode.maxPacketSize)
    return name + Text(": packet sizes must satisfy 0 < min <= default <= max (got min %llu, default %llu, max %llu)",
                       mode.minPacketSize, mode.defaultPacketSize, mode.maxPacketSize);
  std::string fullFrame = CheckFormat7Settings(mode, FullFrameSettings(mode), mode.defaultPacketSize);
  if (!fullFrame.empty()) return name + ": the full sensor is not a valid setting: " + fullFrame;
  return {};
}

std::string CheckCurrentMode(const CameraConfig& camera) {
  if (!camera.format7.empty()) {
    const Format7ModeConfig* mode = FindFormat7Mode(camera, camera.format7Settings.mode);
    if (!mode)
      return Text("the Format7 configuration names mode %llu, which is not supported", camera.format7Settings.mode);
    std::string problem = CheckFormat7Settings(*mode, camera.format7Settings, camera.format7PacketSize);
    if (!problem.empty()) return "the Format7 configuration is invalid: " + problem;
  }
  if (camera.currentMode == VIDEOMODE_FORMAT7) {
    if (camera.format7.empty()) return "the current mode is FORMAT7 but the camera has no Format7 mode";
    if (camera.currentRate != FRAMERATE_FORMAT7) return "the frame rate of Format7 must be FORMAT7";
    return {};
  }
  if (!SupportsVideoMode(camera, camera.currentMode, camera.currentRate)) {
    const char* mode = VideoModeName(camera.currentMode);
    const char* rate = FrameRateName(camera.currentRate);
    return std::string("the current mode ") + (mode ? mode : "?") + " at " + (rate ? rate : "?") +
           " is not one of the camera's video modes";
  }
  return {};
}

}  // namespace

const VideoModeConfig* FindVideoMode(const CameraConfig& camera, VideoMode mode) {
  for (const auto& entry : camera.videoModes)
    if (entry.mode == mode) return &entry;
  return nullptr;
}

const Format7ModeConfig* FindFormat7Mode(const CameraConfig& camera, unsigned int mode) {
  for (const auto& entry : camera.format7)
    if (entry.mode == mode) return &entry;
  return nullptr;
}

bool SupportsVideoMode(const CameraConfig& camera, VideoMode mode, FrameRate rate) {
  const VideoModeConfig* entry = FindVideoMode(camera, mode);
  return entry && std::find(entry->frameRates.begin(), entry->frameRates.end(), rate) != entry->frameRates.end();
}

Format7ImageSettings FullFrameSettings(const Format7ModeConfig& mode) {
  Format7ImageSettings settings;
  settings.mode = static_cast<Mode>(mode.mode);
  settings.width = mode.maxWidth;
  settings.height = mode.maxHeight;
  settings.pixelFormat = mode.pixelFormats.empty() ? UNSPECIFIED_PIXEL_FORMAT : mode.pixelFormats.front();
  return settings;
}

std::string CheckFormat7Settings(const Format7ModeConfig& mode, const Format7ImageSettings& settings,
                                 unsigned int packetSize) {
  if (static_cast<unsigned>(settings.mode) != mode.mode)
    return Text("settings for mode %llu given to mode %llu", static_cast<unsigned>(settings.mode), mode.mode);
  if (settings.width == 0 || settings.height == 0)
    return Text("image size %llux%llu is empty", settings.width, settings.height);
  if (settings.width % mode.imageHStep)
    return Text("width %llu is not a multiple of %llu", settings.width, mode.imageHStep);
  if (settings.height % mode.imageVStep)
    return Text("height %llu is not a multiple of %llu", settings.height, mode.imageVStep);
  if (settings.offsetX % mode.offsetHStep)
    return Text("offsetX %llu is not a multiple of %llu", settings.offsetX, mode.offsetHStep);
  if (settings.offsetY % mode.offsetVStep)
    return Text("offsetY %llu is not a multiple of %llu", settings.offsetY, mode.offsetVStep);
  if (static_cast<unsigned long long>(settings.offsetX) + settings.width > mode.maxWidth)
    return Text("offsetX %llu + width %llu exceeds the maximum width %llu", settings.offsetX, settings.width,
                mode.maxWidth);
  if (static_cast<unsigned long long>(settings.offsetY) + settings.height > mode.maxHeight)
    return Text("offsetY %llu + height %llu exceeds the maximum height %llu", settings.offsetY, settings.height,
                mode.maxHeight);
  if (std::find(mode.pixelFormats.begin(), mode.pixelFormats.end(), settings.pixelFormat) == mode.pixelFormats.end())
    return "pixel format " + FormatName(settings.pixelFormat) + Text(" is not offered by mode %llu", mode.mode);
  if (settings.width % WidthAlignment(settings.pixelFormat))
    return Text("width %llu is not a multiple of %llu, as ", settings.width, WidthAlignment(settings.pixelFormat)) +
           FormatName(settings.pixelFormat) + " needs";
  if (packetSize < mode.minPacketSize || packetSize > mode.maxPacketSize)
    return Text("packet size %llu is outside %llu to %llu", packetSize, mode.minPacketSize, mode.maxPacketSize);
  return {};
}

std::string CheckCameraConfig(const CameraConfig& camera) {
  if (camera.serial == 0) return "the serial number must not be 0";
  if (camera.model.empty()) return "the model name is empty";
  if (camera.videoModes.empty() && camera.format7.empty())
    return "the camera has neither a video mode nor a Format7 mode";
  if (camera.failRetrievals < 0) return "the number of failing retrievals must not be negative";
  std::string problem = CheckVideoModes(camera);
  if (!problem.empty()) return problem;
  std::set<unsigned> format7Modes;
  for (const auto& mode : camera.format7) {
    problem = CheckFormat7Mode(mode);
    if (!problem.empty()) return problem;
    if (!format7Modes.insert(mode.mode).second) return Text("Format7 mode %llu is listed twice", mode.mode);
  }
  problem = CheckCurrentMode(camera);
  if (!problem.empty()) return problem;
  return CheckFeatureConfig(camera.features);
}

}  // namespace vq::sim
