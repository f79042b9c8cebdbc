#pragma once
// Conversions through libyuv, for the formats where its SIMD code beats our
// own kernels (all but Bayer and MONO12). Each returns false, having written nothing, when the build has
// no libyuv or the image does not suit it (sizes beyond int, 16-bit samples
// not 2-byte aligned); the caller then uses the kernel of PixelConvert.h.
// libyuv keeps no per-conversion state, so threads may convert at once.
#include "sdk/PixelConvert.h"

namespace FlyCapture2::detail {

bool LibyuvAvailable();

bool LibyuvMono16ToBgr(const SourceView& source, const TargetView& target);
bool LibyuvMono16ToMono8(const SourceView& source, const TargetView& target);
// Little-endian samples of `bits` (9 to 16) bits in two bytes: sample >> (bits
// - 8), 255 for a sample with bits set above its depth.
bool LibyuvSamples16ToMono8(const SourceView& source, const TargetView& target, unsigned int bits);
bool LibyuvRgb8ToBgr(const SourceView& source, const TargetView& target);
// BT.601 studio range, with the layouts and chroma sharing of Yuv444ToBgr,
// Yuv422ToBgr, Yuyv422ToBgr and Yuv411ToBgr.
bool LibyuvYuv444ToBgr(const SourceView& source, const TargetView& target);
bool LibyuvYuv422ToBgr(const SourceView& source, const TargetView& target);
bool LibyuvYuyv422ToBgr(const SourceView& source, const TargetView& target);
bool LibyuvYuv411ToBgr(const SourceView& source, const TargetView& target);

}  // namespace FlyCapture2::detail
