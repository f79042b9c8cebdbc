#include "sdk/PixelConvertLibyuv.h"

#ifdef VQ_HAVE_LIBYUV

#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/cpu_id.h>
#include <libyuv/planar_functions.h>

#include <bit>
#include <climits>

namespace FlyCapture2::detail {

namespace {

// libyuv chooses its SIMD code on first use; doing that once, here, keeps
// grab threads from racing on the choice.
void DetectCpuOnce() {
  static const int flags = libyuv::InitCpuFlags();
  (void)flags;
}

// libyuv takes sizes and strides as int; an intermediate 32-bit row is
// 4 × cols bytes.
bool Suits(const SourceView& source, const TargetView& target) {
  DetectCpuOnce();
  return source.cols <= INT_MAX / 4 && source.rows <= INT_MAX && source.stride <= INT_MAX && target.stride <= INT_MAX;
}

bool HoldsAlignedSamples16(const SourceView& source) {
  if constexpr (std::endian::native != std::endian::little) return false;
  return reinterpret_cast<uintptr_t>(source.data) % alignof(uint16_t) == 0 && source.stride % 2 == 0;
}

const uint16_t* Samples16(const uint8_t* row) { return reinterpret_cast<const uint16_t*>(row); }

int Int(size_t value) { return static_cast<int>(value); }

// libyuv reaches BGR from grey and UYVY through its 32-bit B G R A layout
// ("ARGB"): each source row goes into a one-row buffer, which becomes the
// target row.
template <typename RowToArgb>
void ThroughArgbRows(const SourceView& source, const TargetView& target, RowToArgb rowToArgb) {
  Scratch argbRow(source.cols * 4);
  uint8_t* argb = argbRow.Data();
  const int width = Int(source.cols);
  for (size_t row = 0; row < source.rows; ++row) {
    rowToArgb(source.data + row * source.stride, argb, width);
    libyuv::ARGBToRGB24(argb, 0, target.data + row * target.stride, 0, width, 1);
  }
}

// Spreads one row of U Y0 Y1 V Y2 Y3 groups into a luma row and chroma rows
// of half the width (each chroma sample twice), the planar 4:2:2 layout that
// libyuv converts.
void Unpack411Row(const uint8_t* in, size_t cols, uint8_t* y, uint8_t* u, uint8_t* v) {
  size_t x = 0;
  for (; x + 4 <= cols; x += 4, in += 6) {
    y[x] = in[1];
    y[x + 1] = in[2];
    y[x + 2] = in[4];
    y[x + 3] = in[5];
    u[x / 2] = u[x / 2 + 1] = in[0];
    v[x / 2] = v[x / 2 + 1] = in[3];
  }
  if (x == cols) return;
  // One to three pixels in a last group.
  static constexpr size_t kLumaOffset[3] = {1, 2, 4};
  for (size_t i = 0; x + i < cols; ++i) y[x + i] = in[kLumaOffset[i]];
  u[x / 2] = in[0];
  v[x / 2] = in[3];
  if (x + 2 < cols) {
    u[x / 2 + 1] = in[0];
    v[x / 2 + 1] = in[3];
  }
}

}  // namespace

bool LibyuvAvailable() { return true; }

bool LibyuvMono16ToBgr(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target) || !HoldsAlignedSamples16(source)) return false;
  Scratch greyRow(source.cols);
  uint8_t* grey = greyRow.Data();
  ThroughArgbRows(source, target, [grey](const uint8_t* in, uint8_t* argb, int width) {
    // A scale of 256 keeps (sample × 256) >> 16, the high byte.
    libyuv::Convert16To8Plane(Samples16(in), 0, grey, 0, 256, width, 1);
    libyuv::J400ToARGB(grey, 0, argb, 0, width, 1);
  });
  return true;
}

bool LibyuvMono16ToMono8(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target) || !HoldsAlignedSamples16(source)) return false;
  libyuv::Convert16To8Plane(Samples16(source.data), Int(source.stride / 2), target.data, Int(target.stride), 256,
                            Int(source.cols), Int(source.rows));
  return true;
}

bool LibyuvSamples16ToMono8(const SourceView& source, const TargetView& target, unsigned int bits) {
  if (bits < 9 || bits > 16 || !Suits(source, target) || !HoldsAlignedSamples16(source)) return false;
  // (sample × 2^(24 - bits)) >> 16 is sample >> (bits - 8), saturated.
  libyuv::Convert16To8Plane(Samples16(source.data), Int(source.stride / 2), target.data, Int(target.stride),
                            1 << (24 - bits), Int(source.cols), Int(source.rows));
  return true;
}

bool LibyuvRgb8ToBgr(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target)) return false;
  // libyuv calls R G B bytes "RAW" and B G R bytes "RGB24".
  return libyuv::RAWToRGB24(source.data, Int(source.stride), target.data, Int(target.stride), Int(source.cols),
                            Int(source.rows)) == 0;
}

bool LibyuvYuv422ToBgr(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target)) return false;
  // libyuv's default YUV matrix is BT.601 studio range.
  ThroughArgbRows(source, target,
                  [](const uint8_t* in, uint8_t* argb, int width) { libyuv::UYVYToARGB(in, 0, argb, 0, width, 1); });
  return true;
}

bool LibyuvYuyv422ToBgr(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target)) return false;
  // libyuv calls Y0 U Y1 V "YUY2".
  ThroughArgbRows(source, target,
                  [](const uint8_t* in, uint8_t* argb, int width) { libyuv::YUY2ToARGB(in, 0, argb, 0, width, 1); });
  return true;
}

bool LibyuvYuv444ToBgr(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target)) return false;
  Scratch planes(3 * source.cols);
  uint8_t* u = planes.Data();
  uint8_t* y = u + source.cols;
  uint8_t* v = y + source.cols;
  const int width = Int(source.cols);
  for (size_t row = 0; row < source.rows; ++row) {
    // U Y V pixels are three interleaved channels, like R G B.
    libyuv::SplitRGBPlane(source.data + row * source.stride, 0, u, 0, y, 0, v, 0, width, 1);
    libyuv::I444ToRGB24(y, 0, u, 0, v, 0, target.data + row * target.stride, 0, width, 1);
  }
  return true;
}

bool LibyuvYuv411ToBgr(const SourceView& source, const TargetView& target) {
  if (!Suits(source, target)) return false;
  const size_t chromaCols = (source.cols + 1) / 2;
  Scratch planes(source.cols + 2 * chromaCols);
  uint8_t* y = planes.Data();
  uint8_t* u = y + source.cols;
  uint8_t* v = u + chromaCols;
  const int width = Int(source.cols);
  for (size_t row = 0; row < source.rows; ++row) {
    Unpack411Row(source.data + row * source.stride, source.cols, y, u, v);
    libyuv::I422ToRGB24(y, 0, u, 0, v, 0, target.data + row * target.stride, 0, width, 1);
  }
  return true;
}

}  // namespace FlyCapture2::detail

#else  // without libyuv our own kernels convert everything

namespace FlyCapture2::detail {

bool LibyuvAvailable() { return false; }
bool LibyuvMono16ToBgr(const SourceView&, const TargetView&) { return false; }
bool LibyuvMono16ToMono8(const SourceView&, const TargetView&) { return false; }
bool LibyuvSamples16ToMono8(const SourceView&, const TargetView&, unsigned int) { return false; }
bool LibyuvRgb8ToBgr(const SourceView&, const TargetView&) { return false; }
bool LibyuvYuv444ToBgr(const SourceView&, const TargetView&) { return false; }
bool LibyuvYuv422ToBgr(const SourceView&, const TargetView&) { return false; }
bool LibyuvYuyv422ToBgr(const SourceView&, const TargetView&) { return false; }
bool LibyuvYuv411ToBgr(const SourceView&, const TargetView&) { return false; }

}  // namespace FlyCapture2::detail

#endif
