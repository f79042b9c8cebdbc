#include "sdk/sim/VideoModeTable.h"

#include <cmath>
#include <iterator>

#include "sdk/PixelFormatNames.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

const char* const videoModeNames[] = {
    "160x120YUV444", "320x240YUV422",   "640x480YUV411", "640x480YUV422",  "640x480RGB",   "640x480Y8",
    "640x480Y16",    "800x600YUV422",   "800x600RGB",    "800x600Y8",      "800x600Y16",   "1024x768YUV422",
    "1024x768RGB",   "1024x768Y8",      "1024x768Y16",   "1280x960YUV422", "1280x960RGB",  "1280x960Y8",
    "1280x960Y16",   "1600x1200YUV422", "1600x1200RGB",  "1600x1200Y8",    "1600x1200Y16", "FORMAT7",
};
static_assert(std::size(videoModeNames) == NUM_VIDEOMODES);

const char* const frameRateNames[] = {
    "1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps", "120 fps", "240 fps", "FORMAT7",
};
static_assert(std::size(frameRateNames) == NUM_FRAMERATES);

const double framesPerSecond[] = {1.875, 3.75, 7.5, 15, 30, 60, 120, 240, 0};

const char* const bayerNames[] = {"NONE", "RGGB", "GRBG", "GBRG", "BGGR"};

bool ValidMode(VideoMode mode) { return mode >= 0 && mode < NUM_VIDEOMODES; }
bool ValidRate(FrameRate rate) { return rate >= 0 && rate < NUM_FRAMERATES; }

}  // namespace

const char* VideoModeName(VideoMode mode) { return ValidMode(mode) ? videoModeNames[mode] : nullptr; }

const char* FrameRateName(FrameRate rate) { return ValidRate(rate) ? frameRateNames[rate] : nullptr; }

const char* PixelFormatName(PixelFormat format) {
  for (const auto& row : FlyCapture2::kPixelFormatNames)
    if (row.format == format) return row.name;
  return nullptr;
}

const char* BayerTileName(BayerTileFormat bayer) {
  return bayer >= NONE && bayer <= BGGR ? bayerNames[bayer] : nullptr;
}

bool VideoModeFromName(const std::string& name, VideoMode* mode) {
  for (int i = 0; i < NUM_VIDEOMODES; ++i) {
    if (name == videoModeNames[i]) {
      *mode = static_cast<VideoMode>(i);
      return true;
    }
  }
  return false;
}

bool FrameRateFromName(const std::string& name, FrameRate* rate) {
  for (int i = 0; i < NUM_FRAMERATES; ++i) {
    if (name == frameRateNames[i]) {
      *rate = static_cast<FrameRate>(i);
      return true;
    }
  }
  return false;
}

bool FrameRateFromFps(double fps, FrameRate* rate) {
  for (int i = 0; i < FRAMERATE_FORMAT7; ++i) {
    if (std::fabs(framesPerSecond[i] - fps) < 1e-6) {
      *rate = static_cast<FrameRate>(i);
      return true;
    }
  }
  return false;
}

bool PixelFormatFromName(const std::string& name, PixelFormat* format) {
  for (const auto& row : FlyCapture2::kPixelFormatNames) {
    if (name == row.name) {
      *format = row.format;
      return true;
    }
  }
  return false;
}

bool BayerTileFromName(const std::string& name, BayerTileFormat* bayer) {
  for (int i = NONE; i <= BGGR; ++i) {
    if (name == bayerNames[i]) {
      *bayer = static_cast<BayerTileFormat>(i);
      return true;
    }
  }
  return false;
}

double FramesPerSecond(FrameRate rate) { return ValidRate(rate) ? framesPerSecond[rate] : 0; }

ImageGeometry DcamGeometry(VideoMode mode) {
  switch (mode) {
    case VIDEOMODE_160x120YUV444: return {160, 120, PIXEL_FORMAT_444YUV8};
    case VIDEOMODE_320x240YUV422: return {320, 240, PIXEL_FORMAT_422YUV8};
    case VIDEOMODE_640x480YUV411: return {640, 480, PIXEL_FORMAT_411YUV8};
    case VIDEOMODE_640x480YUV422: return {640, 480, PIXEL_FORMAT_422YUV8};
    case VIDEOMODE_640x480RGB: return {640, 480, PIXEL_FORMAT_RGB8};
    case VIDEOMODE_640x480Y8: return {640, 480, PIXEL_FORMAT_MONO8};
    case VIDEOMODE_640x480Y16: return {640, 480, PIXEL_FORMAT_MONO16};
    case VIDEOMODE_800x600YUV422: return {800, 600, PIXEL_FORMAT_422YUV8};
    case VIDEOMODE_800x600RGB: return {800, 600, PIXEL_FORMAT_RGB8};
    case VIDEOMODE_800x600Y8: return {800, 600, PIXEL_FORMAT_MONO8};
    case VIDEOMODE_800x600Y16: return {800, 600, PIXEL_FORMAT_MONO16};
    case VIDEOMODE_1024x768YUV422: return {1024, 768, PIXEL_FORMAT_422YUV8};
    case VIDEOMODE_1024x768RGB: return {1024, 768, PIXEL_FORMAT_RGB8};
    case VIDEOMODE_1024x768Y8: return {1024, 768, PIXEL_FORMAT_MONO8};
    case VIDEOMODE_1024x768Y16: return {1024, 768, PIXEL_FORMAT_MONO16};
    case VIDEOMODE_1280x960YUV422: return {1280, 960, PIXEL_FORMAT_422YUV8};
    case VIDEOMODE_1280x960RGB: return {1280, 960, PIXEL_FORMAT_RGB8};
    case VIDEOMODE_1280x960Y8: return {1280, 960, PIXEL_FORMAT_MONO8};
    case VIDEOMODE_1280x960Y16: return {1280, 960, PIXEL_FORMAT_MONO16};
    case VIDEOMODE_1600x1200YUV422: return {1600, 1200, PIXEL_FORMAT_422YUV8};
    case VIDEOMODE_1600x1200RGB: return {1600, 1200, PIXEL_FORMAT_RGB8};
    case VIDEOMODE_1600x1200Y8: return {1600, 1200, PIXEL_FORMAT_MONO8};
    case VIDEOMODE_1600x1200Y16: return {1600, 1200, PIXEL_FORMAT_MONO16};
    default: return {};
  }
}

bool IsSimulatedPixelFormat(PixelFormat format) {
  switch (format) {
    case PIXEL_FORMAT_MONO8:
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_RAW8:
    case PIXEL_FORMAT_RGB8:
    case PIXEL_FORMAT_411YUV8:
    case PIXEL_FORMAT_422YUV8:
    case PIXEL_FORMAT_444YUV8: return true;
    default: return false;
  }
}

unsigned int RowBytes(unsigned int width, PixelFormat format) {
  switch (format) {
    case PIXEL_FORMAT_MONO8:
    case PIXEL_FORMAT_RAW8: return width;
    case PIXEL_FORMAT_411YUV8: return width / 4 * 6;
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_422YUV8: return width * 2;
    case PIXEL_FORMAT_RGB8:
    case PIXEL_FORMAT_444YUV8: return width * 3;
    default: return 0;
  }
}

unsigned int WidthAlignment(PixelFormat format) {
  switch (format) {
    case PIXEL_FORMAT_411YUV8: return 4;
    case PIXEL_FORMAT_422YUV8: return 2;
    default: return 1;
  }
}

}  // namespace vq::sim
