#pragma once
// Names, image geometry and timing of the DCAM video modes, frame rates and
// pixel formats, as the simulated cameras and the fleet file use them.
#include <string>

#include "sdk/FlyCapture2.h"

namespace vq::sim {

using FlyCapture2::BayerTileFormat;
using FlyCapture2::FrameRate;
using FlyCapture2::PixelFormat;
using FlyCapture2::VideoMode;

// "640x480Y8", ..., "FORMAT7"; nullptr for a value outside the enumeration.
const char* VideoModeName(VideoMode mode);
// "1.875 fps", ..., "240 fps", "FORMAT7"; nullptr outside the enumeration.
const char* FrameRateName(FrameRate rate);
// "MONO8", "RAW8", ... (the names of every pixel format the SDK knows).
const char* PixelFormatName(PixelFormat format);
// "NONE", "RGGB", "GRBG", "GBRG", "BGGR".
const char* BayerTileName(BayerTileFormat bayer);

bool VideoModeFromName(const std::string& name, VideoMode* mode);
bool FrameRateFromName(const std::string& name, FrameRate* rate);
// Matches a rate given in frames per second (7.5, 30, ...).
bool FrameRateFromFps(double fps, FrameRate* rate);
bool PixelFormatFromName(const std::string& name, PixelFormat* format);
bool BayerTileFromName(const std::string& name, BayerTileFormat* bayer);

// Frames per second of a fixed frame rate; 0 for FRAMERATE_FORMAT7, whose
// rate follows from the packet size.
double FramesPerSecond(FrameRate rate);

struct ImageGeometry {
  unsigned int width = 0;
  unsigned int height = 0;
  PixelFormat format = FlyCapture2::UNSPECIFIED_PIXEL_FORMAT;
};

// Size and pixel format of a fixed (DCAM) video mode, as its name says.
// Not meaningful for VIDEOMODE_FORMAT7.
ImageGeometry DcamGeometry(VideoMode mode);

// The formats the simulated cameras can deliver: MONO8, MONO16, RAW8, RGB8,
// 411YUV8, 422YUV8 and 444YUV8.
bool IsSimulatedPixelFormat(PixelFormat format);
// Bytes of one row of `width` pixels (rows are packed, no padding).
unsigned int RowBytes(unsigned int width, PixelFormat format);
// The width of a row must be a multiple of this: YUV411 packs four pixels
// into one group, YUV422 two.
unsigned int WidthAlignment(PixelFormat format);

}  // namespace vq::sim
