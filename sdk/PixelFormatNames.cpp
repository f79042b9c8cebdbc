#include "sdk/PixelFormatNames.h"

namespace FlyCapture2 {

const PixelFormatName kPixelFormatNames[kPixelFormatNameCount] = {
    {"MONO8", PIXEL_FORMAT_MONO8},     {"411YUV8", PIXEL_FORMAT_411YUV8},   {"422YUV8", PIXEL_FORMAT_422YUV8},
    {"444YUV8", PIXEL_FORMAT_444YUV8}, {"RGB8", PIXEL_FORMAT_RGB8},         {"MONO16", PIXEL_FORMAT_MONO16},
    {"RGB16", PIXEL_FORMAT_RGB16},     {"S_MONO16", PIXEL_FORMAT_S_MONO16}, {"S_RGB16", PIXEL_FORMAT_S_RGB16},
    {"RAW8", PIXEL_FORMAT_RAW8},       {"RAW16", PIXEL_FORMAT_RAW16},       {"MONO12", PIXEL_FORMAT_MONO12},
    {"RAW12", PIXEL_FORMAT_RAW12},     {"BGR", PIXEL_FORMAT_BGR},           {"BGRU", PIXEL_FORMAT_BGRU},
    {"RGBU", PIXEL_FORMAT_RGBU},
};

}  // namespace FlyCapture2
