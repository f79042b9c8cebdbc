#pragma once
// What a simulated camera is: identity, supported modes, features, start-up
// settings and injected faults. Built from the default fleet, a fleet file or
// a test.
#include <string>
#include <vector>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/CameraFaults.h"
#include "sdk/sim/FeatureConfig.h"

namespace vq::sim {

// One fixed DCAM mode and the frame rates the camera offers in it.
struct VideoModeConfig {
  FlyCapture2::VideoMode mode = FlyCapture2::VIDEOMODE_640x480Y8;
  std::vector<FlyCapture2::FrameRate> frameRates;
};

// One Format7 mode and its limits.
struct Format7ModeConfig {
  unsigned int mode = 0;  // 0..31
  unsigned int maxWidth = 0;
  unsigned int maxHeight = 0;
  unsigned int offsetHStep = 2;
  unsigned int offsetVStep = 2;
  unsigned int imageHStep = 8;
  unsigned int imageVStep = 2;
  std::vector<FlyCapture2::PixelFormat> pixelFormats;  // the first is the default
  unsigned int minPacketSize = 4;
  unsigned int maxPacketSize = 4096;
  unsigned int defaultPacketSize = 2048;
  FlyCapture2::BayerTileFormat bayer = FlyCapture2::NONE;  // tile of RAW8 frames
};

struct CameraConfig {
  std::string model;
  std::string vendor = "Vorquell";
  unsigned int serial = 0;
  bool color = false;

  std::vector<VideoModeConfig> videoModes;
  std::vector<Format7ModeConfig> format7;

  // Start-up mode. While currentMode is VIDEOMODE_FORMAT7 the rate is
  // FRAMERATE_FORMAT7 and the frames follow format7Settings.
  FlyCapture2::VideoMode currentMode = FlyCapture2::VIDEOMODE_640x480Y8;
  FlyCapture2::FrameRate currentRate = FlyCapture2::FRAMERATE_30;
  // The Format7 configuration the camera reports (and uses in Format7), also
  // while a fixed mode is current.
  FlyCapture2::Format7ImageSettings format7Settings;
  unsigned int format7PacketSize = 0;

  // Properties, trigger, strobe and GPIO pins, with their start-up state.
  FeatureConfig features;

  // Frames come as fast as they are retrieved instead of at the frame rate.
  bool freeRunning = false;
  CameraFaults faults;
  int failRetrievals = 0;    // the next this many retrievals fail
  int incompleteFrames = 0;  // the next this many frames arrive incomplete
};

struct FleetConfig {
  std::vector<CameraConfig> cameras;
  bool countFault = false;  // the camera-count query fails
};

const VideoModeConfig* FindVideoMode(const CameraConfig& camera, FlyCapture2::VideoMode mode);
const Format7ModeConfig* FindFormat7Mode(const CameraConfig& camera, unsigned int mode);
bool SupportsVideoMode(const CameraConfig& camera, FlyCapture2::VideoMode mode, FlyCapture2::FrameRate rate);

// The whole sensor in the mode's first pixel format.
FlyCapture2::Format7ImageSettings FullFrameSettings(const Format7ModeConfig& mode);

// Why a Format7 setting does not fit the mode's limits, steps, pixel formats
// and packet sizes; empty when it fits.
std::string CheckFormat7Settings(const Format7ModeConfig& mode, const FlyCapture2::Format7ImageSettings& settings,
                                 unsigned int packetSize);

// Why a camera description is not usable; empty when it is.
std::string CheckCameraConfig(const CameraConfig& camera);

}  // namespace vq::sim
