// Pixel-format conversion of one 1280 × 960 frame to BGR: a memcpy of the
// source bytes as the floor, our own kernels, libyuv and libswscale where
// they cover the format, and Image::Convert as the grab thread calls it.
// The GenICam formats (by their names, in the packing the Aravis backend
// hands over) go through Image::Convert for the whole frame and through
// Image::ConvertRows one row at a time, as the host's row pulls convert them.
// Bytes per second count the source frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "sdk/FlyCapture2.h"
#include "sdk/PixelConvert.h"
#include "sdk/PixelConvertLibyuv.h"
#include "sdk/aravis/GenicamMapping.h"

#ifdef VQ_BENCH_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif

namespace {

using namespace FlyCapture2;
using detail::SourceView;
using detail::TargetView;

constexpr unsigned kRows = 960;
constexpr unsigned kCols = 1280;

// Pseudo-random bytes: no pattern a kernel could profit from.
void FillRandom(Image& image) {
  uint32_t state = 12345;
  unsigned char* data = image.GetData();
  for (size_t i = 0; i < image.GetDataSize(); ++i) {
    state = state * 1664525u + 1013904223u;
    data[i] = static_cast<unsigned char>(state >> 24);
  }
}

Image MakeFrame(PixelFormat format) {
  const unsigned stride = static_cast<unsigned>(detail::SourceRowBytes(format, kCols));
  Image image(kRows, kCols, stride, format, RGGB);
  FillRandom(image);
  return image;
}

SourceView ViewOf(const Image& image) { return {image.GetData(), image.GetStride(), image.GetRows(), image.GetCols()}; }

void CountFrames(benchmark::State& state, const Image& source) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * source.GetDataSize());
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void OwnKernel(PixelFormat format, const SourceView& source, const TargetView& target) {
  switch (format) {
    case PIXEL_FORMAT_MONO8: return detail::Mono8ToBgr(source, target);
    case PIXEL_FORMAT_MONO12: return detail::Mono12ToBgr(source, target);
    case PIXEL_FORMAT_MONO16: return detail::Mono16ToBgr(source, target);
    case PIXEL_FORMAT_RGB8: return detail::Rgb8ToBgr(source, target);
    case PIXEL_FORMAT_444YUV8: return detail::Yuv444ToBgr(source, target);
    case PIXEL_FORMAT_422YUV8: return detail::Yuv422ToBgr(source, target);
    case PIXEL_FORMAT_411YUV8: return detail::Yuv411ToBgr(source, target);
    case PIXEL_FORMAT_RAW8: return detail::BayerToBgr(source, RGGB, target);
    case PIXEL_FORMAT_RAW16: return detail::Bayer16ToBgr(source, RGGB, target);
    default: return detail::CopyRows(source, target, 3 * source.cols);
  }
}

bool LibyuvKernel(PixelFormat format, const SourceView& source, const TargetView& target) {
  switch (format) {
    case PIXEL_FORMAT_MONO16: return detail::LibyuvMono16ToBgr(source, target);
    case PIXEL_FORMAT_RGB8: return detail::LibyuvRgb8ToBgr(source, target);
    case PIXEL_FORMAT_444YUV8: return detail::LibyuvYuv444ToBgr(source, target);
    case PIXEL_FORMAT_422YUV8: return detail::LibyuvYuv422ToBgr(source, target);
    case PIXEL_FORMAT_411YUV8: return detail::LibyuvYuv411ToBgr(source, target);
    default: return false;
  }
}

#ifdef VQ_BENCH_SWSCALE
AVPixelFormat SwscaleFormatOf(PixelFormat format) {
  switch (format) {
    case PIXEL_FORMAT_MONO16: return AV_PIX_FMT_GRAY16LE;
    case PIXEL_FORMAT_RGB8: return AV_PIX_FMT_RGB24;
    case PIXEL_FORMAT_422YUV8: return AV_PIX_FMT_UYVY422;
    case PIXEL_FORMAT_RAW8: return AV_PIX_FMT_BAYER_RGGB8;
    default: return AV_PIX_FMT_NONE;
  }
}

// One context for the whole run, told that camera YUV is BT.601 studio range.
SwsContext* SwscaleContextFor(PixelFormat format) {
  const AVPixelFormat from = SwscaleFormatOf(format);
  if (from == AV_PIX_FMT_NONE) return nullptr;
  SwsContext* context =
      sws_getContext(kCols, kRows, from, kCols, kRows, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
  if (context) {
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(context, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
  }
  return context;
}
#endif

void BM_MemcpySource(benchmark::State& state, PixelFormat format) {
  const Image source = MakeFrame(format);
  std::vector<unsigned char> target(source.GetDataSize());
  for (auto _ : state) {
    std::memcpy(target.data(), source.GetData(), source.GetDataSize());
    benchmark::ClobberMemory();
  }
  CountFrames(state, source);
}

void BM_Own(benchmark::State& state, PixelFormat format) {
  const Image source = MakeFrame(format);
  std::vector<unsigned char> target(kRows * kCols * 3);
  const TargetView view{target.data(), kCols * 3};
  for (auto _ : state) {
    OwnKernel(format, ViewOf(source), view);
    benchmark::ClobberMemory();
  }
  CountFrames(state, source);
}

void BM_Libyuv(benchmark::State& state, PixelFormat format) {
  const Image source = MakeFrame(format);
  std::vector<unsigned char> target(kRows * kCols * 3);
  const TargetView view{target.data(), kCols * 3};
  if (!LibyuvKernel(format, ViewOf(source), view)) {
    state.SkipWithError("libyuv is not available for this format");
    return;
  }
  for (auto _ : state) {
    LibyuvKernel(format, ViewOf(source), view);
    benchmark::ClobberMemory();
  }
  CountFrames(state, source);
}

void BM_Swscale(benchmark::State& state, PixelFormat format) {
#ifdef VQ_BENCH_SWSCALE
  const Image source = MakeFrame(format);
  std::vector<unsigned char> target(kRows * kCols * 3);
  SwsContext* context = SwscaleContextFor(format);
  if (!context) {
    state.SkipWithError("libswscale refuses this format");
    return;
  }
  const uint8_t* const sourcePlanes[4] = {source.GetData(), nullptr, nullptr, nullptr};
  const int sourceStrides[4] = {static_cast<int>(source.GetStride()), 0, 0, 0};
  uint8_t* const targetPlanes[4] = {target.data(), nullptr, nullptr, nullptr};
  const int targetStrides[4] = {static_cast<int>(kCols * 3), 0, 0, 0};
  for (auto _ : state) {
    sws_scale(context, sourcePlanes, sourceStrides, 0, kRows, targetPlanes, targetStrides);
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
  CountFrames(state, source);
#else
  (void)format;
  state.SkipWithError("built without libswscale");
#endif
}

void BM_ImageConvert(benchmark::State& state, PixelFormat format) {
  const Image source = MakeFrame(format);
  Image target;
  for (auto _ : state) {
    Error error = source.Convert(PIXEL_FORMAT_BGR, &target);
    benchmark::DoNotOptimize(error);
    benchmark::ClobberMemory();
  }
  CountFrames(state, source);
}

// A frame of random bytes in the GenICam format `name`.
Image MakeGenicamFrame(const char* name) {
  vq::aravis::FrameFormat format;
  if (!vq::aravis::FrameFormatOf(name, &format)) return Image();
  const auto stride =
      static_cast<unsigned>(detail::SourceRowBytes(format.format, format.layout, format.sampleBits, kCols));
  Image image(kRows, kCols, stride, format.format, format.bayer);
  image.SetSampleLayout(format.layout, format.sampleBits);
  FillRandom(image);
  return image;
}

void BM_Genicam(benchmark::State& state, const char* name, PixelFormat target) {
  const Image source = MakeGenicamFrame(name);
  Image converted;
  if (source.Convert(target, &converted) != PGRERROR_OK) {
    state.SkipWithError("the format does not convert");
    return;
  }
  for (auto _ : state) {
    Error error = source.Convert(target, &converted);
    benchmark::DoNotOptimize(error);
    benchmark::ClobberMemory();
  }
  CountFrames(state, source);
}

void BM_GenicamRows(benchmark::State& state, const char* name, PixelFormat target) {
  const Image source = MakeGenicamFrame(name);
  const size_t rowBytes = kCols * (target == PIXEL_FORMAT_BGR ? 3 : 1);
  std::vector<unsigned char> rows(rowBytes * kRows);
  if (source.CheckConversion(target) != PGRERROR_OK) {
    state.SkipWithError("the format does not convert");
    return;
  }
  for (auto _ : state) {
    for (unsigned r = 0; r < kRows; ++r) {
      Error error = source.ConvertRows(target, r, 1, rows.data() + r * rowBytes, rowBytes);
      benchmark::DoNotOptimize(error);
    }
    benchmark::ClobberMemory();
  }
  CountFrames(state, source);
}

}  // namespace

BENCHMARK_CAPTURE(BM_MemcpySource, MONO8, PIXEL_FORMAT_MONO8);
BENCHMARK_CAPTURE(BM_MemcpySource, 422YUV8, PIXEL_FORMAT_422YUV8);
BENCHMARK_CAPTURE(BM_MemcpySource, BGR, PIXEL_FORMAT_BGR);

BENCHMARK_CAPTURE(BM_Own, MONO8, PIXEL_FORMAT_MONO8);
BENCHMARK_CAPTURE(BM_Own, MONO12, PIXEL_FORMAT_MONO12);
BENCHMARK_CAPTURE(BM_Own, MONO16, PIXEL_FORMAT_MONO16);
BENCHMARK_CAPTURE(BM_Own, RGB8, PIXEL_FORMAT_RGB8);
BENCHMARK_CAPTURE(BM_Own, BGR, PIXEL_FORMAT_BGR);
BENCHMARK_CAPTURE(BM_Own, 444YUV8, PIXEL_FORMAT_444YUV8);
BENCHMARK_CAPTURE(BM_Own, 422YUV8, PIXEL_FORMAT_422YUV8);
BENCHMARK_CAPTURE(BM_Own, 411YUV8, PIXEL_FORMAT_411YUV8);
BENCHMARK_CAPTURE(BM_Own, RAW8_RGGB, PIXEL_FORMAT_RAW8);
BENCHMARK_CAPTURE(BM_Own, RAW16_RGGB, PIXEL_FORMAT_RAW16);

BENCHMARK_CAPTURE(BM_Libyuv, MONO16, PIXEL_FORMAT_MONO16);
BENCHMARK_CAPTURE(BM_Libyuv, RGB8, PIXEL_FORMAT_RGB8);
BENCHMARK_CAPTURE(BM_Libyuv, 444YUV8, PIXEL_FORMAT_444YUV8);
BENCHMARK_CAPTURE(BM_Libyuv, 422YUV8, PIXEL_FORMAT_422YUV8);
BENCHMARK_CAPTURE(BM_Libyuv, 411YUV8, PIXEL_FORMAT_411YUV8);

BENCHMARK_CAPTURE(BM_Swscale, MONO16, PIXEL_FORMAT_MONO16);
BENCHMARK_CAPTURE(BM_Swscale, RGB8, PIXEL_FORMAT_RGB8);
BENCHMARK_CAPTURE(BM_Swscale, 422YUV8, PIXEL_FORMAT_422YUV8);
BENCHMARK_CAPTURE(BM_Swscale, RAW8_RGGB, PIXEL_FORMAT_RAW8);

BENCHMARK_CAPTURE(BM_ImageConvert, MONO8, PIXEL_FORMAT_MONO8);
BENCHMARK_CAPTURE(BM_ImageConvert, MONO16, PIXEL_FORMAT_MONO16);
BENCHMARK_CAPTURE(BM_ImageConvert, RGB8, PIXEL_FORMAT_RGB8);
BENCHMARK_CAPTURE(BM_ImageConvert, BGR, PIXEL_FORMAT_BGR);
BENCHMARK_CAPTURE(BM_ImageConvert, 444YUV8, PIXEL_FORMAT_444YUV8);
BENCHMARK_CAPTURE(BM_ImageConvert, 422YUV8, PIXEL_FORMAT_422YUV8);
BENCHMARK_CAPTURE(BM_ImageConvert, 411YUV8, PIXEL_FORMAT_411YUV8);
BENCHMARK_CAPTURE(BM_ImageConvert, RAW8_RGGB, PIXEL_FORMAT_RAW8);
BENCHMARK_CAPTURE(BM_ImageConvert, RAW16_RGGB, PIXEL_FORMAT_RAW16);

#define VQ_BENCH_GENICAM(name, target)                                             \
  BENCHMARK_CAPTURE(BM_Genicam, name##_to_##target, #name, PIXEL_FORMAT_##target); \
  BENCHMARK_CAPTURE(BM_GenicamRows, name##_to_##target, #name, PIXEL_FORMAT_##target)

VQ_BENCH_GENICAM(Mono10, MONO8);
VQ_BENCH_GENICAM(Mono12, MONO8);
VQ_BENCH_GENICAM(Mono16, MONO8);
VQ_BENCH_GENICAM(Mono10Packed, MONO8);
VQ_BENCH_GENICAM(Mono12Packed, MONO8);
VQ_BENCH_GENICAM(Mono10p, MONO8);
VQ_BENCH_GENICAM(Mono12p, MONO8);
VQ_BENCH_GENICAM(Mono10, BGR);
VQ_BENCH_GENICAM(Mono12p, BGR);
VQ_BENCH_GENICAM(BayerRG10, BGR);
VQ_BENCH_GENICAM(BayerRG12, BGR);
VQ_BENCH_GENICAM(BayerRG16, BGR);
VQ_BENCH_GENICAM(BayerRG10Packed, BGR);
VQ_BENCH_GENICAM(BayerRG12Packed, BGR);
VQ_BENCH_GENICAM(BayerRG10p, BGR);
VQ_BENCH_GENICAM(BayerRG12p, BGR);
VQ_BENCH_GENICAM(BayerRG8, BGR);
VQ_BENCH_GENICAM(RGB8, BGR);
VQ_BENCH_GENICAM(BGR8, BGR);
VQ_BENCH_GENICAM(YUV422_8_UYVY, BGR);
VQ_BENCH_GENICAM(YUV422_8, BGR);
