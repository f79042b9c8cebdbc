#include "sdk/sim/DefaultFleet.h"

#include "sdk/sim/DefaultFeatures.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

Format7ModeConfig FullSensorMode(std::vector<PixelFormat> formats, BayerTileFormat bayer) {
  Format7ModeConfig mode;
  mode.mode = 0;
  mode.maxWidth = 1280;
  mode.maxHeight = 960;
  mode.pixelFormats = std::move(formats);
  mode.bayer = bayer;
  return mode;
}

void ConfigureFormat7FullFrame(CameraConfig* camera) {
  camera->format7Settings = FullFrameSettings(camera->format7.front());
  camera->format7PacketSize = camera->format7.front().defaultPacketSize;
}

}  // namespace

CameraConfig DefaultColorCamera(unsigned int serial) {
  CameraConfig camera;
  camera.model = "Vorquell VQ-1394C";
  camera.serial = serial;
  camera.color = true;
  camera.videoModes = {
      {VIDEOMODE_160x120YUV444, {FRAMERATE_30}},
      {VIDEOMODE_320x240YUV422, {FRAMERATE_15, FRAMERATE_30}},
      {VIDEOMODE_640x480YUV411, {FRAMERATE_15, FRAMERATE_30}},
      {VIDEOMODE_640x480YUV422, {FRAMERATE_7_5, FRAMERATE_15, FRAMERATE_30}},
      {VIDEOMODE_640x480RGB, {FRAMERATE_7_5, FRAMERATE_15}},
      {VIDEOMODE_640x480Y8, {FRAMERATE_7_5, FRAMERATE_15, FRAMERATE_30}},
      {VIDEOMODE_1280x960YUV422, {FRAMERATE_7_5, FRAMERATE_15}},
      {VIDEOMODE_1280x960RGB, {FRAMERATE_7_5}},
      {VIDEOMODE_1280x960Y8, {FRAMERATE_7_5, FRAMERATE_15, FRAMERATE_30}},
  };
  camera.format7 = {FullSensorMode(
      {PIXEL_FORMAT_RAW8, PIXEL_FORMAT_MONO8, PIXEL_FORMAT_RGB8, PIXEL_FORMAT_422YUV8}, RGGB)};
  camera.currentMode = VIDEOMODE_640x480YUV422;
  camera.currentRate = FRAMERATE_30;
  ConfigureFormat7FullFrame(&camera);
  camera.features = DefaultColorFeatures();
  return camera;
}

CameraConfig DefaultMonoCamera(unsigned int serial) {
  CameraConfig camera;
  camera.model = "Vorquell VQ-1394M";
  camera.serial = serial;
  camera.color = false;
  const std::vector<FrameRate> rates = {FRAMERATE_15, FRAMERATE_30, FRAMERATE_60};
  camera.videoModes = {
      {VIDEOMODE_640x480Y8, rates},
      {VIDEOMODE_1280x960Y8, rates},
      {VIDEOMODE_1280x960Y16, rates},
  };
  camera.format7 = {FullSensorMode({PIXEL_FORMAT_MONO8, PIXEL_FORMAT_MONO16}, NONE)};
  camera.currentMode = VIDEOMODE_640x480Y8;
  camera.currentRate = FRAMERATE_30;
  ConfigureFormat7FullFrame(&camera);
  camera.features = DefaultMonoFeatures();
  return camera;
}

FleetConfig DefaultFleet() {
  FleetConfig fleet;
  fleet.cameras = {DefaultColorCamera(), DefaultMonoCamera()};
  return fleet;
}

}  // namespace vq::sim
