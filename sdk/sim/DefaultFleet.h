#pragma once
// The fleet the simulated bus starts with when no fleet file is named: one
// colour and one monochrome camera.
#include "sdk/sim/CameraConfig.h"

namespace vq::sim {

constexpr unsigned int kDefaultColorSerial = 10001001;
constexpr unsigned int kDefaultMonoSerial = 10001002;

// "Vorquell VQ-1394C": YUV, RGB and Y8 modes up to 1280x960 at 7.5/15/30 fps,
// Format7 mode 0 (1280x960; RAW8 RGGB, MONO8, RGB8, 422YUV8); starts in
// 640x480YUV422 at 30 fps. Features: DefaultColorFeatures.
CameraConfig DefaultColorCamera(unsigned int serial = kDefaultColorSerial);

// "Vorquell VQ-1394M": 640x480Y8, 1280x960Y8 and 1280x960Y16 at 15/30/60 fps,
// Format7 mode 0 (1280x960; MONO8, MONO16); starts in 640x480Y8 at 30 fps.
// Features: DefaultMonoFeatures.
CameraConfig DefaultMonoCamera(unsigned int serial = kDefaultMonoSerial);

FleetConfig DefaultFleet();

}  // namespace vq::sim
