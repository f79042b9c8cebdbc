#pragma once
// Plain C++ pixel kernels behind Image::Convert. A kernel converts every row
// of the source view into the target view; the caller has checked that each
// source row holds SourceRowBytes() bytes and each target row 3 × cols bytes
// (BGR) or cols bytes (MONO8).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sdk/FlyCapture2.h"

namespace FlyCapture2::detail {

struct SourceView {
  const uint8_t* data;
  size_t stride;  // bytes from one row start to the next
  size_t rows;
  size_t cols;
};

struct TargetView {
  uint8_t* data;
  size_t stride;
};

// Scratch memory for a conversion, neither cleared nor kept: on the stack up
// to a few kilobytes (a row of a common width), else on the heap. The host's
// row pulls convert a frame one row per call, and a row buffer allocated and
// cleared per call costs about as much as converting the row.
class Scratch {
 public:
  explicit Scratch(size_t bytes) {
    if (bytes > sizeof(_stack)) _heap.reset(new uint8_t[bytes]);
  }
  uint8_t* Data() { return _heap ? _heap.get() : _stack; }

 private:
  uint8_t _stack[8192];
  std::unique_ptr<uint8_t[]> _heap;
};

// Bytes one source row of `cols` pixels occupies; 0 for a format the kernels
// do not read. Packed YUV rows hold whole pixel groups: a 422 row of an odd
// width ends with a complete U Y V Y group, a 411 row with a complete
// U Y Y V Y Y group, so that the last pixels have their chroma.
size_t SourceRowBytes(PixelFormat format, size_t cols);
// The same for samples in `layout` with `sampleBits` bits each (see
// Image::GetSampleLayout): a row of LSB-packed samples ends on the byte that
// holds its last bit.
size_t SourceRowBytes(PixelFormat format, SampleLayout layout, unsigned int sampleBits, size_t cols);

// ---- samples deeper than 8 bits -------------------------------------------------
// Writes the high 8 bits of each of a row's `cols` samples to `out`: the grey
// value of a monochrome pixel, the value a Bayer pixel is demosaiced from. A
// sample in two bytes with bits set above its depth (which cameras leave 0)
// gives 255; packed samples have no such bits.
using SampleRowReader = void (*)(const uint8_t* in, uint8_t* out, size_t cols);
// The reader of MONO16 / RAW16 samples (LAYOUT_DEFAULT, 10, 12 or 16 bits in
// two little-endian bytes) and of MONO12 / RAW12 samples (LAYOUT_DEFAULT or
// LAYOUT_LSB_PACKED, 10 or 12 bits); nullptr for any other combination.
SampleRowReader HighBitsReader(PixelFormat format, SampleLayout layout, unsigned int sampleBits);

// Monochrome rows through a reader, to grey or to BGR (grey in all three).
void DeepMonoToMono8(const SourceView& source, const TargetView& target, SampleRowReader reader);
void DeepMonoToBgr(const SourceView& source, const TargetView& target, SampleRowReader reader);
// Bayer rows through a reader, demosaiced as BayerRowsToBgr does the 8-bit
// values; reads the rows next to [first, first + count) as neighbours.
void DeepBayerRowsToBgr(const SourceView& source, BayerTileFormat tile, size_t first, size_t count,
                        const TargetView& target, SampleRowReader reader);
// Image rows [first, first + count) from a window of 8-bit Bayer rows that
// starts at image row `top` and holds their neighbours as far as the image
// has them (from row first - 1, when there is one, to row first + count).
void BayerWindowRowsToBgr(const SourceView& window, BayerTileFormat tile, size_t top, size_t first, size_t count,
                          const TargetView& target);

// The target row is a copy of the first `rowBytes` bytes of the source row.
void CopyRows(const SourceView& source, const TargetView& target, size_t rowBytes);

void Mono8ToBgr(const SourceView& source, const TargetView& target);
// 16-bit little-endian samples; the high byte is kept.
void Mono16ToBgr(const SourceView& source, const TargetView& target);
void Mono16ToMono8(const SourceView& source, const TargetView& target);
// Two 12-bit samples in three bytes; bytes 0 and 2 hold their high 8 bits.
void Mono12ToBgr(const SourceView& source, const TargetView& target);
void Mono12ToMono8(const SourceView& source, const TargetView& target);
void Rgb8ToBgr(const SourceView& source, const TargetView& target);

// YUV is BT.601 studio range (Y 16..235, U and V 16..240).
void Yuv444ToBgr(const SourceView& source, const TargetView& target);   // U Y V
void Yuv422ToBgr(const SourceView& source, const TargetView& target);   // U Y0 V Y1
void Yuyv422ToBgr(const SourceView& source, const TargetView& target);  // Y0 U Y1 V
void Yuv411ToBgr(const SourceView& source, const TargetView& target);   // U Y0 Y1 V Y2 Y3

// Bilinear demosaicing: a pixel keeps its own sample for its own colour; each
// other colour is the rounded mean of that colour's samples in the pixel's
// 3 × 3 neighbourhood, clipped to the image. A colour with no sample there
// (images one pixel wide or high) is 0.
void BayerToBgr(const SourceView& source, BayerTileFormat tile, const TargetView& target);
// The same for the source rows [first, first + count) alone, into a target
// whose first row takes source row `first`; the rows around them are read as
// neighbours.
void BayerRowsToBgr(const SourceView& source, BayerTileFormat tile, size_t first, size_t count,
                    const TargetView& target);
// 16-bit little-endian Bayer samples; demosaiced from their high bytes.
void Bayer16ToBgr(const SourceView& source, BayerTileFormat tile, const TargetView& target);
void Bayer16RowsToBgr(const SourceView& source, BayerTileFormat tile, size_t first, size_t count,
                      const TargetView& target);

}  // namespace FlyCapture2::detail
