// Real-camera acquisition on Aravis's in-process fake camera (no network:
// only the Fake interface is searched) at 1600x1200, Mono8 and BayerRG8:
//
// - AravisAlone: a plain Aravis stream loop (the same six-buffer pool the
//   backend uses), pop and push back, nothing else;
// - DriverPath: the module loaded as a host loads it, grabbing continuously,
//   every row pulled in the completion callback.
//
// frames/s at the fake's highest frame rate compares the two: the driver
// should deliver at least 98 % of what Aravis alone delivers. Pairs runs the
// two one after the other, five times, and reports the ratio of each pair
// (driver / alone); a pair runs alone, driver, driver, alone, so that a
// change in the machine's load biases neither side. Beside each pair runs one
// with Aravis alone on both sides ("same_min", "same_max"): how far apart
// two equal sides fall on this machine. With VQ_BENCH_SPINNER=1
// a child process keeps one core busy meanwhile. The time from buffer pop to
// the host's callback is not measured here: nothing outside the module sees
// when the driver popped a buffer.
#include <arv.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "tools/cvlhost/Module.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1200;
constexpr const char* kCamera = "Fake (1)";

const char* GenicamFormat(int64_t arg) { return arg == 0 ? "Mono8" : "BayerRG8"; }
// The settings file stores the video mode and the pixel format by number:
// FORMAT7 is 23; MONO8 (0x80000000) and RAW8 (0x00400000) as 32-bit signed.
constexpr int kFormat7VideoMode = 23;
int SdkFormat(int64_t arg) { return arg == 0 ? INT32_MIN : 0x00400000; }

void Counters(benchmark::State& state) {
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Aravis alone: a fake camera streaming at its highest rate into a loop that
// pops each buffer and pushes it back.
class AloneStream {
 public:
  explicit AloneStream(int64_t format) {
    arv_disable_interface("GigEVision");
    _device = arv_fake_device_new("BENCH", nullptr);
    _camera = _device ? arv_camera_new_with_device(_device, nullptr) : nullptr;
    if (!_camera) return;
    arv_camera_set_integer(_camera, "Width", kWidth, nullptr);
    arv_camera_set_integer(_camera, "Height", kHeight, nullptr);
    arv_camera_set_string(_camera, "PixelFormat", GenicamFormat(format), nullptr);
    double low = 0, high = 0;
    arv_camera_get_float_bounds(_camera, "AcquisitionFrameRate", &low, &high, nullptr);
    arv_camera_set_float(_camera, "AcquisitionFrameRate", high, nullptr);
    _stream = arv_camera_create_stream(_camera, nullptr, nullptr, nullptr);
    const guint payload = arv_camera_get_payload(_camera, nullptr);
    for (int i = 0; i < 6; ++i) arv_stream_push_buffer(_stream, arv_buffer_new_allocate(payload));
    arv_camera_start_acquisition(_camera, nullptr);
  }
  ~AloneStream() {
    if (_camera) arv_camera_stop_acquisition(_camera, nullptr);
    if (_stream) g_object_unref(_stream);
    if (_camera) g_object_unref(_camera);
    if (_device) g_object_unref(_device);
  }
  bool Ready() const { return _stream != nullptr; }
  // One frame popped and given back; false if none came within 2 s.
  bool Next() {
    ArvBuffer* buffer = arv_stream_timeout_pop_buffer(_stream, 2000000);
    if (!buffer) return false;
    benchmark::DoNotOptimize(arv_buffer_get_status(buffer));
    arv_stream_push_buffer(_stream, buffer);
    return true;
  }

 private:
  ArvDevice* _device = nullptr;
  ArvCamera* _camera = nullptr;
  ArvStream* _stream = nullptr;
};

void AravisAlone(benchmark::State& state) {
  AloneStream stream(state.range(0));
  if (!stream.Ready()) {
    state.SkipWithError("no fake camera");
    return;
  }
  for (auto _ : state) {
    if (!stream.Next()) {
      state.SkipWithError("no frame within 2 s");
      break;
    }
  }
  Counters(state);
}

// The host: the module on the Aravis backend, the fake camera on port 0.
class Host {
 public:
  static Host& Get() {
    static Host host;
    return host;
  }
  Module& M() { return *_module; }

  // Opens the camera with the region, format and highest rate stored in the
  // settings file, and grabs continuously.
  void Start(int64_t format) {
    std::ofstream(_dir / "VorquellCamera.ini")
        << "[" << kCamera << "]\nDCAMVideoMode=" << kFormat7VideoMode << "\noffsetX=0\noffsetY=0\nwidth=" << kWidth
        << "\nheight=" << kHeight << "\nFmt7PixelFormat=" << SdkFormat(format)
        << "\nFrameRateOn=1\nFrameRate=" << 1000 * 100 << "\n";
    int size[2] = {0, 0};
    if (!M().openCVLPort(0, 0, kCamera, size) || size[0] != kWidth || size[1] != kHeight) std::abort();
    int pixelSize = 8;
    M().getProperty(0, 0, "PixelSize", &pixelSize);
    _rowBytes = kWidth * pixelSize / 8;
    _frame.resize(static_cast<size_t>(_rowBytes) * kHeight);
    _frames = 0;
    M().setCompleteCallback(0, 0, OnComplete);
    M().setProperty(0, 0, "continuous", 1);
  }
  void Stop() {
    M().setProperty(0, 0, "continuous", 0);
    M().closeCVLPort(0, 0);
  }
  uint64_t WaitBeyond(uint64_t seen) {
    std::unique_lock<std::mutex> lock(_lock);
    _changed.wait(lock, [&] { return _frames > seen; });
    return _frames;
  }

 private:
  Host() : _dir(std::filesystem::temp_directory_path() / ("vq-aravis-bench-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(_dir);
    setenv("VORQUELL_SDK_BACKEND", "aravis", 1);
    setenv("VORQUELL_ARAVIS_INTERFACES", "Fake", 1);  // never a GigE broadcast
    setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
    _module = std::make_unique<Module>(VQ_MODULE_PATH);
    _module->initialize(_dir.c_str(), nullptr);
  }
  ~Host() {
    _module->finalize();
    std::error_code ignored;
    std::filesystem::remove_all(_dir, ignored);
  }

  static void OnComplete(int, int) {
    Host& host = Get();
    for (int row = 0; row < kHeight; ++row)
      host.M().getCVLGrabRow(0, 0, host._frame.data() + static_cast<size_t>(row) * host._rowBytes, row, 0, kWidth - 1);
    {
      std::lock_guard<std::mutex> lock(host._lock);
      ++host._frames;
    }
    host._changed.notify_all();
  }

  std::filesystem::path _dir;
  std::unique_ptr<Module> _module;
  std::vector<unsigned char> _frame;
  int _rowBytes = 0;
  std::mutex _lock;
  std::condition_variable _changed;
  uint64_t _frames = 0;
};

void DriverPath(benchmark::State& state) {
  Host& host = Host::Get();
  host.Start(state.range(0));
  uint64_t seen = host.WaitBeyond(0);
  for (auto _ : state) seen = host.WaitBeyond(seen);
  host.Stop();
  Counters(state);
}

// A process that keeps one core busy while it lives.
class Spinner {
 public:
  Spinner() {
    const char* wanted = std::getenv("VQ_BENCH_SPINNER");
    if (!wanted || std::string(wanted) != "1") return;
    _child = fork();
    if (_child == 0) {
      for (uint64_t n = 0;; ++n) benchmark::DoNotOptimize(n);
    }
  }
  ~Spinner() {
    if (_child <= 0) return;
    kill(_child, SIGKILL);
    waitpid(_child, nullptr, 0);
  }

 private:
  pid_t _child = -1;
};

// Frames per second of `frames` frames, `next` taking one.
template <typename Next>
double FramesPerSecond(int frames, Next next) {
  next();  // the stream runs
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i)
    if (!next()) return 0;
  return frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Pairs(benchmark::State& state) {
  constexpr int kPairs = 5, kFrames = 150;
  const Spinner spinner;
  std::vector<double> ratios, sameRatios;
  for (auto _ : state) {
    auto alone = [&] {
      AloneStream stream(state.range(0));
      return stream.Ready() ? FramesPerSecond(kFrames, [&] { return stream.Next(); }) : 0.0;
    };
    auto driver = [&] {
      Host& host = Host::Get();
      host.Start(state.range(0));
      uint64_t seen = 0;
      const double rate = FramesPerSecond(kFrames, [&] {
        seen = host.WaitBeyond(seen);
        return true;
      });
      host.Stop();
      return rate;
    };
    // Alone, driver, driver, alone: a load that rises or falls during the
    // pair weighs on both sides alike. Each pair is followed by one with Aravis
    // alone in the driver's place: the spread the machine gives a pair when
    // both sides do the same work.
    auto pair = [&](auto middle) {
      const double aloneFirst = alone();
      const double middleBoth = middle() + middle();
      const double aloneBoth = aloneFirst + alone();
      return aloneFirst > 0 && aloneBoth > aloneFirst ? middleBoth / aloneBoth : 0;
    };
    for (int n = 0; n < kPairs; ++n) {
      ratios.push_back(pair(driver));
      sameRatios.push_back(pair(alone));
    }
  }
  std::sort(ratios.begin(), ratios.end());
  std::sort(sameRatios.begin(), sameRatios.end());
  state.counters["ratio_min"] = ratios.front();
  state.counters["ratio_median"] = ratios[ratios.size() / 2];
  state.counters["ratio_max"] = ratios.back();
  state.counters["same_min"] = sameRatios.front();
  state.counters["same_max"] = sameRatios.back();
}

// Argument: 0 = Mono8, 1 = BayerRG8 (to BGR for the host).
BENCHMARK(Pairs)->DenseRange(0, 1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(AravisAlone)->DenseRange(0, 1)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(DriverPath)->DenseRange(0, 1)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
