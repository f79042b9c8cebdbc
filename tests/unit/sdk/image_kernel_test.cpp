// The conversion kernels on their own: no byte read or written outside the
// frame, checked with inaccessible pages right after and right before it
// (libyuv is not instrumented by the sanitizers, so this is the check that
// covers it), and our kernels agree with libyuv's where both exist.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sdk/PixelConvert.h"
#include "sdk/PixelConvertLibyuv.h"

namespace {

using namespace FlyCapture2;
using detail::SourceView;
using detail::TargetView;

// `bytes` of memory between two pages that may not be touched, placed against
// the one after or the one before.
class GuardedBlock {
 public:
  enum Placement { kAgainstEnd, kAgainstStart };

  GuardedBlock(size_t bytes, Placement placement) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (bytes + page - 1) / page;
    _length = (dataPages + 2) * page;
    void* base = mmap(nullptr, _length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) std::abort();
    _base = static_cast<uint8_t*>(base);
    mprotect(_base, page, PROT_NONE);
    mprotect(_base + (dataPages + 1) * page, page, PROT_NONE);
    _data = placement == kAgainstEnd ? _base + (dataPages + 1) * page - bytes : _base + page;
  }
  ~GuardedBlock() { munmap(_base, _length); }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;

  uint8_t* Data() { return _data; }

 private:
  uint8_t* _base;
  size_t _length;
  uint8_t* _data;
};

// Runs a conversion; false when it is not available (libyuv missing).
using Run = std::function<bool(const SourceView&, const TargetView&)>;

struct KernelCase {
  std::string name;
  PixelFormat format;
  size_t targetBytesPerPixel;
  Run run;
  // Samples deeper than 8 bits: how they lie in the row.
  SampleLayout layout = LAYOUT_DEFAULT;
  unsigned sampleBits = 0;
};

Run Own(void (*kernel)(const SourceView&, const TargetView&)) {
  return [kernel](const SourceView& s, const TargetView& t) {
    kernel(s, t);
    return true;
  };
}

Run OwnBayer(void (*kernel)(const SourceView&, BayerTileFormat, const TargetView&), BayerTileFormat tile) {
  return [kernel, tile](const SourceView& s, const TargetView& t) {
    kernel(s, tile, t);
    return true;
  };
}

// A kernel for samples deeper than 8 bits, with the reader of their layout.
Run Deep(void (*kernel)(const SourceView&, const TargetView&, detail::SampleRowReader), PixelFormat format,
         SampleLayout layout, unsigned bits) {
  return [=](const SourceView& s, const TargetView& t) {
    kernel(s, t, detail::HighBitsReader(format, layout, bits));
    return true;
  };
}

Run DeepBayer(PixelFormat format, SampleLayout layout, unsigned bits, BayerTileFormat tile) {
  return [=](const SourceView& s, const TargetView& t) {
    detail::DeepBayerRowsToBgr(s, tile, 0, s.rows, t, detail::HighBitsReader(format, layout, bits));
    return true;
  };
}

std::vector<KernelCase> AllKernels() {
  return {
      {"Mono8ToBgr", PIXEL_FORMAT_MONO8, 3, Own(detail::Mono8ToBgr)},
      {"Mono12ToBgr", PIXEL_FORMAT_MONO12, 3, Own(detail::Mono12ToBgr)},
      {"Mono12ToMono8", PIXEL_FORMAT_MONO12, 1, Own(detail::Mono12ToMono8)},
      {"Mono16ToBgr", PIXEL_FORMAT_MONO16, 3, Own(detail::Mono16ToBgr)},
      {"Mono16ToMono8", PIXEL_FORMAT_MONO16, 1, Own(detail::Mono16ToMono8)},
      {"Rgb8ToBgr", PIXEL_FORMAT_RGB8, 3, Own(detail::Rgb8ToBgr)},
      {"Yuv444ToBgr", PIXEL_FORMAT_444YUV8, 3, Own(detail::Yuv444ToBgr)},
      {"Yuv422ToBgr", PIXEL_FORMAT_422YUV8, 3, Own(detail::Yuv422ToBgr)},
      {"Yuv411ToBgr", PIXEL_FORMAT_411YUV8, 3, Own(detail::Yuv411ToBgr)},
      {"BayerRggbToBgr", PIXEL_FORMAT_RAW8, 3, OwnBayer(detail::BayerToBgr, RGGB)},
      {"BayerGbrgToBgr", PIXEL_FORMAT_RAW8, 3, OwnBayer(detail::BayerToBgr, GBRG)},
      {"Bayer16BggrToBgr", PIXEL_FORMAT_RAW16, 3, OwnBayer(detail::Bayer16ToBgr, BGGR)},
      {"Yuyv422ToBgr", PIXEL_FORMAT_422YUV8, 3, Own(detail::Yuyv422ToBgr)},
      {"Mono10ToMono8", PIXEL_FORMAT_MONO16, 1, Deep(detail::DeepMonoToMono8, PIXEL_FORMAT_MONO16, LAYOUT_DEFAULT, 10),
       LAYOUT_DEFAULT, 10},
      {"Mono10PackedToBgr", PIXEL_FORMAT_MONO12, 3,
       Deep(detail::DeepMonoToBgr, PIXEL_FORMAT_MONO12, LAYOUT_DEFAULT, 10), LAYOUT_DEFAULT, 10},
      {"Mono10pToBgr", PIXEL_FORMAT_MONO12, 3, Deep(detail::DeepMonoToBgr, PIXEL_FORMAT_MONO12, LAYOUT_LSB_PACKED, 10),
       LAYOUT_LSB_PACKED, 10},
      {"Mono12pToMono8", PIXEL_FORMAT_MONO12, 1,
       Deep(detail::DeepMonoToMono8, PIXEL_FORMAT_MONO12, LAYOUT_LSB_PACKED, 12), LAYOUT_LSB_PACKED, 12},
      {"Bayer12GrbgToBgr", PIXEL_FORMAT_RAW16, 3, DeepBayer(PIXEL_FORMAT_RAW16, LAYOUT_DEFAULT, 12, GRBG),
       LAYOUT_DEFAULT, 12},
      {"Bayer10pRggbToBgr", PIXEL_FORMAT_RAW12, 3, DeepBayer(PIXEL_FORMAT_RAW12, LAYOUT_LSB_PACKED, 10, RGGB),
       LAYOUT_LSB_PACKED, 10},
      {"Bayer12PackedBggrToBgr", PIXEL_FORMAT_RAW12, 3, DeepBayer(PIXEL_FORMAT_RAW12, LAYOUT_DEFAULT, 12, BGGR),
       LAYOUT_DEFAULT, 12},
      {"LibyuvMono16ToBgr", PIXEL_FORMAT_MONO16, 3, detail::LibyuvMono16ToBgr},
      {"LibyuvMono16ToMono8", PIXEL_FORMAT_MONO16, 1, detail::LibyuvMono16ToMono8},
      {"LibyuvSamples16ToMono8", PIXEL_FORMAT_MONO16, 1,
       [](const SourceView& s, const TargetView& t) { return detail::LibyuvSamples16ToMono8(s, t, 12); }},
      {"LibyuvRgb8ToBgr", PIXEL_FORMAT_RGB8, 3, detail::LibyuvRgb8ToBgr},
      {"LibyuvYuv444ToBgr", PIXEL_FORMAT_444YUV8, 3, detail::LibyuvYuv444ToBgr},
      {"LibyuvYuv422ToBgr", PIXEL_FORMAT_422YUV8, 3, detail::LibyuvYuv422ToBgr},
      {"LibyuvYuyv422ToBgr", PIXEL_FORMAT_422YUV8, 3, detail::LibyuvYuyv422ToBgr},
      {"LibyuvYuv411ToBgr", PIXEL_FORMAT_411YUV8, 3, detail::LibyuvYuv411ToBgr},
  };
}

TEST(ImageKernels, StayInsideTightlyPackedFramesOfAnyWidth) {
  std::mt19937 random(11);
  for (const KernelCase& kernel : AllKernels())
    for (size_t cols : {1, 2, 3, 5, 7, 8, 13, 18, 19, 20, 21, 33})
      for (size_t rows : {1, 2, 3, 5})
        for (GuardedBlock::Placement placement : {GuardedBlock::kAgainstEnd, GuardedBlock::kAgainstStart}) {
          SCOPED_TRACE(::testing::Message() << kernel.name << " " << rows << "x" << cols << " placement " << placement);
          const size_t rowBytes = detail::SourceRowBytes(kernel.format, kernel.layout, kernel.sampleBits, cols);
          GuardedBlock source(rowBytes * rows, placement);
          GuardedBlock target(kernel.targetBytesPerPixel * cols * rows, placement);
          for (size_t i = 0; i < rowBytes * rows; ++i) source.Data()[i] = static_cast<uint8_t>(random());
          // A stray access faults and ends the test process. A kernel that
          // is not available (built without libyuv) converts nothing.
          kernel.run(SourceView{source.Data(), rowBytes, rows, cols},
                     TargetView{target.Data(), kernel.targetBytesPerPixel * cols});
        }
}

// Our kernel and libyuv's on the same random frame with padded rows.
void ExpectAgreement(PixelFormat format, size_t targetBytesPerPixel, const Run& own, const Run& library, int tolerance,
                     uint8_t lowest = 0, uint8_t highest = 255) {
  const size_t rows = 29, cols = 37;
  const size_t stride = detail::SourceRowBytes(format, cols) + 6;
  std::mt19937 random(5);
  std::uniform_int_distribution<int> value(lowest, highest);
  std::vector<uint8_t> source(stride * rows);
  for (uint8_t& byte : source) byte = static_cast<uint8_t>(value(random));
  const SourceView view{source.data(), stride, rows, cols};
  std::vector<uint8_t> ours(targetBytesPerPixel * cols * rows), theirs(ours.size());
  ASSERT_TRUE(own(view, TargetView{ours.data(), targetBytesPerPixel * cols}));
  if (!library(view, TargetView{theirs.data(), targetBytesPerPixel * cols})) GTEST_SKIP() << "built without libyuv";
  int worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - theirs[i]));
  EXPECT_LE(worst, tolerance);
}

TEST(ImageKernels, OwnAndLibyuvAgree) {
  ExpectAgreement(PIXEL_FORMAT_MONO16, 3, Own(detail::Mono16ToBgr), detail::LibyuvMono16ToBgr, 0);
  ExpectAgreement(PIXEL_FORMAT_MONO16, 1, Own(detail::Mono16ToMono8), detail::LibyuvMono16ToMono8, 0);
  ExpectAgreement(PIXEL_FORMAT_RGB8, 3, Own(detail::Rgb8ToBgr), detail::LibyuvRgb8ToBgr, 0);
  // 10 and 12 bits in two bytes, stray bits above the depth included.
  for (unsigned bits : {10u, 12u})
    ExpectAgreement(
        PIXEL_FORMAT_MONO16, 1, Deep(detail::DeepMonoToMono8, PIXEL_FORMAT_MONO16, LAYOUT_DEFAULT, bits),
        [bits](const SourceView& s, const TargetView& t) { return detail::LibyuvSamples16ToMono8(s, t, bits); }, 0);
  // Within the studio range the two differ by rounding only.
  ExpectAgreement(PIXEL_FORMAT_444YUV8, 3, Own(detail::Yuv444ToBgr), detail::LibyuvYuv444ToBgr, 2, 16, 235);
  ExpectAgreement(PIXEL_FORMAT_422YUV8, 3, Own(detail::Yuv422ToBgr), detail::LibyuvYuv422ToBgr, 2, 16, 235);
  ExpectAgreement(PIXEL_FORMAT_422YUV8, 3, Own(detail::Yuyv422ToBgr), detail::LibyuvYuyv422ToBgr, 2, 16, 235);
  ExpectAgreement(PIXEL_FORMAT_411YUV8, 3, Own(detail::Yuv411ToBgr), detail::LibyuvYuv411ToBgr, 2, 16, 235);
}

// Grey to BGR is ours alone, sixteen pixels at a time where the processor
// allows: against the rule itself, on rows of whole blocks and a rest.
TEST(ImageKernels, GreyToBgrPutsEachGreyInAllThreeChannels) {
  const auto rule = [](const SourceView& s, const TargetView& t) {
    for (size_t row = 0; row < s.rows; ++row)
      for (size_t col = 0; col < 3 * s.cols; ++col) t.data[row * t.stride + col] = s.data[row * s.stride + col / 3];
    return true;
  };
  ExpectAgreement(PIXEL_FORMAT_MONO8, 3, Own(detail::Mono8ToBgr), rule, 0);
}

}  // namespace
