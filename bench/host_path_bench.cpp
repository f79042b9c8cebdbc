// The whole acquisition path as a host uses it: the module loaded with
// dlopen, a free-running simulated camera grabbing continuously, the
// completion callback, and every row pulled with getCVLGrabRow inside it.
//
// Beside it, in the same run: the simulator's own cost per frame (its
// RetrieveBuffer alone), the row pull alone, and a plain memcpy of the same
// bytes. The driver's own cost per frame is HostPath − SimRetrieve; HostPath
// reports it as a multiple of one memcpy of the host's frame ("vs_memcpy"),
// and what it costs beyond the conversion alone (the SDK's whole-frame
// conversion into a plain buffer), also in memcpys ("over_convert"), and
// the driver's cost again with the retrieval timed while each frame is also
// copied into a host's frame, which makes the simulator's own copy dearer
// ("in_flow", and beyond the conversion "over_convert_in_flow"); RowPull
// reports the pull of a frame's rows in memcpys, and beside it the floor of
// a row per call, a memcpy per row from a plain buffer ("rows_memcpy"), and
// what a pull costs beyond that memcpy, in ns per row ("ns_per_call"; the
// narrow camera's 64-byte rows show it with little copy to hide it). The
// memcpy, the retrieval and the conversion are measured in the same process
// just before; the memcpy once more after ("memcpy_drift", after / before)
// shows how far the machine's speed moved in between, the error of a ratio.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/FlyCapture2.h"
#include "tools/cvlhost/Module.h"

namespace {

struct BenchCamera {
  const char* name;
  unsigned serial;
  int width;
  int height;
  int bytesPerPixel;
};

const BenchCamera kCameras[] = {
    {"Bench VGA (501)", 501, 640, 480, 1},          {"Bench SXGA (502)", 502, 1280, 960, 1},
    {"Bench SXGA Colour (503)", 503, 1280, 960, 3}, {"Bench SXGA Bayer (504)", 504, 1280, 960, 3},
    {"Bench Narrow (505)", 505, 64, 960, 1},
};

const char* kFleet = R"({"cameras": [
  {"model": "Bench VGA", "serial": 501, "color": false, "freeRunning": true,
   "videoModes": [{"mode": "640x480Y8", "frameRates": ["30 fps"]}],
   "current": {"videoMode": "640x480Y8", "frameRate": "30 fps"}},
  {"model": "Bench SXGA", "serial": 502, "color": false, "freeRunning": true,
   "videoModes": [{"mode": "1280x960Y8", "frameRates": ["15 fps"]}],
   "current": {"videoMode": "1280x960Y8", "frameRate": "15 fps"}},
  {"model": "Bench SXGA Colour", "serial": 503, "color": true, "freeRunning": true,
   "videoModes": [{"mode": "1280x960YUV422", "frameRates": ["15 fps"]}],
   "current": {"videoMode": "1280x960YUV422", "frameRate": "15 fps"}},
  {"model": "Bench SXGA Bayer", "serial": 504, "color": true, "freeRunning": true,
   "format7": [{"mode": 0, "maxWidth": 1280, "maxHeight": 960, "pixelFormats": ["RAW8"], "bayer": "RGGB"}],
   "current": {"videoMode": "FORMAT7", "format7": {"mode": 0, "pixelFormat": "RAW8"}}},
  {"model": "Bench Narrow", "serial": 505, "color": false, "freeRunning": true,
   "format7": [{"mode": 0, "maxWidth": 64, "maxHeight": 960, "pixelFormats": ["MONO8"]}],
   "current": {"videoMode": "FORMAT7", "format7": {"mode": 0, "pixelFormat": "MONO8"}}}
]})";

// The fleet file must be named before the first SDK call of either the
// module or this program.
const std::string& FleetFile() {
  static const std::string path = [] {
    std::string file =
        (std::filesystem::temp_directory_path() / ("vq-bench-fleet-" + std::to_string(getpid()) + ".json")).string();
    std::ofstream(file) << kFleet;
    setenv("VORQUELL_SIM_FLEET", file.c_str(), 1);
    setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
    return file;
  }();
  return path;
}

// The host: one module, one port per camera, frames pulled in the callback.
class Host {
 public:
  static Host& Get() {
    static Host host;
    return host;
  }

  struct Port {
    const BenchCamera* camera = nullptr;
    std::vector<unsigned char> frame;
    std::atomic<uint64_t> frames{0};
    // The count the benchmark's thread waits to see passed: frames before
    // it wake nobody, so the driver's cost per frame holds no wake-up of
    // the benchmark's.
    std::atomic<uint64_t> wakeBeyond{0};
  };

  Module& M() { return *_module; }
  Port& PortOf(int port) { return _ports[port]; }

  // Opens the camera on its port (index in kCameras) and starts grabbing.
  void Start(int port) {
    Port& p = _ports[port];
    if (p.camera) return;
    p.camera = &kCameras[port];
    p.frame.resize(static_cast<size_t>(p.camera->width) * p.camera->height * p.camera->bytesPerPixel);
    int size[2];
    if (!M().openCVLPort(0, port, p.camera->name, size)) std::abort();
    M().setCompleteCallback(0, port, OnComplete);
    M().setProperty(0, port, "continuous", 1);
  }

  void Stop(int port) {
    M().setProperty(0, port, "continuous", 0);
    M().closeCVLPort(0, port);
    _ports[port].camera = nullptr;
  }

  void PullRows(int port) {
    Port& p = _ports[port];
    const int rowBytes = p.camera->width * p.camera->bytesPerPixel;
    for (int row = 0; row < p.camera->height; ++row)
      M().getCVLGrabRow(0, port, p.frame.data() + static_cast<size_t>(row) * rowBytes, row, 0, p.camera->width - 1);
  }

  // Waits until a frame beyond `seen` has been pulled; returns its count.
  uint64_t WaitBeyond(int port, uint64_t seen) {
    Port& p = _ports[port];
    std::unique_lock<std::mutex> lock(_lock);
    p.wakeBeyond = seen;
    _changed.wait(lock, [&] { return p.frames.load() > seen; });
    return p.frames.load();
  }

 private:
  Host() {
    FleetFile();
    _module = std::make_unique<Module>(VQ_MODULE_PATH);
    _module->initialize(std::filesystem::temp_directory_path().c_str(), nullptr);
  }

  ~Host() { _module->finalize(); }

  static void OnComplete(int, int port) {
    Host& host = Get();
    host.PullRows(port);
    Port& p = host._ports[port];
    // Counted under the lock, so that a waiter that set its mark and found
    // the count short is asleep before the count passes the mark.
    bool wake;
    {
      std::lock_guard<std::mutex> lock(host._lock);
      wake = ++p.frames > p.wakeBeyond.load();
    }
    if (wake) host._changed.notify_all();
  }

  std::unique_ptr<Module> _module;
  Port _ports[4];
  std::mutex _lock;
  std::condition_variable _changed;
};

void SetFrameCounters(benchmark::State& state, const BenchCamera& camera) {
  const double bytes = static_cast<double>(camera.width) * camera.height * camera.bytesPerPixel;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Median µs of `run` over a few rounds.
template <typename Run>
double MedianMicros(int rounds, Run run) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// One memcpy of the host's frame of `camera`.
double MemcpyMicros(const BenchCamera& camera) {
  const size_t bytes = static_cast<size_t>(camera.width) * camera.height * camera.bytesPerPixel;
  std::vector<unsigned char> from(bytes, 1), to(bytes);
  return MedianMicros(51, [&] {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
  });
}

// The simulator's retrieval alone, the conversion of its frame into the
// host's format alone, and the retrieval again with each frame also carried
// into a host's frame, as the host path carries it: there the simulator's
// copy competes with the host's frame for the cache.
struct SdkCosts {
  double retrieve;
  double convert;
  double retrieveInFlow;
};
SdkCosts SdkMicros(const BenchCamera& camera);

void HostPath(benchmark::State& state) {
  const int port = static_cast<int>(state.range(0));
  const BenchCamera& camera = kCameras[port];
  const double memcpyMicros = MemcpyMicros(camera);
  const SdkCosts sdk = SdkMicros(camera);
  Host& host = Host::Get();
  host.Start(port);
  // An iteration is kFramesPerWake frames: the benchmark's thread, woken once
  // for them, adds no wake-up of its own to each frame's cost.
  constexpr uint64_t kFramesPerWake = 10;
  uint64_t seen = host.WaitBeyond(port, 0);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) seen = host.WaitBeyond(port, seen + kFramesPerWake - 1);
  const double frames = static_cast<double>(state.iterations() * kFramesPerWake);
  const double perFrame =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / frames;
  host.Stop(port);
  // The same memcpy once more: how far the machine moved while it ran.
  state.counters["memcpy_drift"] = MemcpyMicros(camera) / memcpyMicros;
  SetFrameCounters(state, camera);
  state.SetBytesProcessed(static_cast<int64_t>(frames * camera.width * camera.height * camera.bytesPerPixel));
  state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["us/frame"] = perFrame;
  state.counters["vs_memcpy"] = (perFrame - sdk.retrieve) / memcpyMicros;
  state.counters["over_convert"] = (perFrame - sdk.retrieve - sdk.convert) / memcpyMicros;
  state.counters["in_flow"] = (perFrame - sdk.retrieveInFlow) / memcpyMicros;
  state.counters["over_convert_in_flow"] = (perFrame - sdk.retrieveInFlow - sdk.convert) / memcpyMicros;
}

// The row pull alone: one frame grabbed, then all its rows pulled again and
// again (the camera stays capturing after a single grab, its buffer intact).
void RowPull(benchmark::State& state) {
  const int port = 10 + static_cast<int>(state.range(0));
  const BenchCamera& camera = kCameras[state.range(0)];
  Module& m = Host::Get().M();
  int size[2];
  if (!m.openCVLPort(0, port, camera.name, size)) std::abort();
  m.setCompleteCallback(0, port, nullptr);
  m.doCVLGrab(0, port);
  std::vector<unsigned char> frame(static_cast<size_t>(camera.width) * camera.height * camera.bytesPerPixel);
  const int rowBytes = camera.width * camera.bytesPerPixel;
  auto pull = [&] {
    for (int row = 0; row < camera.height; ++row)
      m.getCVLGrabRow(0, port, frame.data() + static_cast<size_t>(row) * rowBytes, row, 0, camera.width - 1);
    benchmark::DoNotOptimize(frame.data());
  };
  // The floor of any interface that hands out a row per call: a memcpy per
  // row, from a plain buffer.
  const std::vector<unsigned char> plain(frame.size(), 1);
  auto copyRows = [&] {
    for (size_t at = 0; at < frame.size(); at += static_cast<size_t>(rowBytes))
      std::memcpy(frame.data() + at, plain.data() + at, static_cast<size_t>(rowBytes));
    benchmark::DoNotOptimize(frame.data());
  };
  const double memcpyMicros = MemcpyMicros(camera);
  const double rowsMicros = MedianMicros(51, copyRows);
  const double pullMicros = MedianMicros(51, pull);
  for (auto _ : state) pull();
  state.counters["memcpy_drift"] = MemcpyMicros(camera) / memcpyMicros;
  m.closeCVLPort(0, port);
  SetFrameCounters(state, camera);
  state.counters["vs_memcpy"] = pullMicros / memcpyMicros;
  state.counters["rows_memcpy"] = rowsMicros / memcpyMicros;
  state.counters["ns_per_call"] = (pullMicros - rowsMicros) * 1000 / camera.height;
}

// A simulated camera of the fleet, capturing, in this process through the SDK
// alone.
class SdkCamera {
 public:
  explicit SdkCamera(const BenchCamera& camera) {
    FleetFile();
    FlyCapture2::BusManager bus;
    FlyCapture2::PGRGuid guid;
    if (bus.GetCameraFromSerialNumber(camera.serial, &guid) != FlyCapture2::PGRERROR_OK) std::abort();
    if (_camera.Connect(&guid) != FlyCapture2::PGRERROR_OK) std::abort();
    _camera.StartCapture();
  }
  ~SdkCamera() { _camera.StopCapture(); }
  void Retrieve(FlyCapture2::Image* image) { _camera.RetrieveBuffer(image); }

 private:
  FlyCapture2::Camera _camera;
};

// The simulator's share: RetrieveBuffer of a free-running camera in this
// process, with nothing else done to the frame; and the conversion alone.
SdkCosts SdkMicros(const BenchCamera& camera) {
  SdkCamera sdkCamera(camera);
  FlyCapture2::Image image, converted;
  SdkCosts costs{};
  costs.retrieve = MedianMicros(51, [&] { sdkCamera.Retrieve(&image); });
  const FlyCapture2::PixelFormat format =
      camera.bytesPerPixel == 3 ? FlyCapture2::PIXEL_FORMAT_BGR : FlyCapture2::PIXEL_FORMAT_MONO8;
  costs.convert = MedianMicros(51, [&] { image.Convert(format, &converted); });
  // Each retrieval timed on its own, each frame then carried into the host's
  // frame: copied row by row, or converted whole and copied. As in the
  // driver, two images take the frames in turn.
  std::vector<unsigned char> hostFrame(static_cast<size_t>(camera.width) * camera.height * camera.bytesPerPixel);
  const size_t rowBytes = static_cast<size_t>(camera.width) * camera.bytesPerPixel;
  FlyCapture2::Image second;
  std::vector<double> times;
  for (int i = 0; i < 51; ++i) {
    FlyCapture2::Image& taking = i % 2 == 0 ? image : second;
    const auto start = std::chrono::steady_clock::now();
    sdkCamera.Retrieve(&taking);
    times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    const FlyCapture2::Image* source = &taking;
    if (camera.bytesPerPixel == 3) {
      taking.Convert(format, &converted);
      source = &converted;
    }
    for (int row = 0; row < camera.height; ++row)
      std::memcpy(hostFrame.data() + row * rowBytes, source->GetData() + row * source->GetStride(), rowBytes);
    benchmark::DoNotOptimize(hostFrame.data());
  }
  std::sort(times.begin(), times.end());
  costs.retrieveInFlow = times[times.size() / 2];
  return costs;
}

void SimRetrieve(benchmark::State& state) {
  const BenchCamera& camera = kCameras[state.range(0)];
  SdkCamera sdkCamera(camera);
  FlyCapture2::Image image;
  for (auto _ : state) sdkCamera.Retrieve(&image);
  SetFrameCounters(state, camera);
}

void Memcpy(benchmark::State& state) {
  const BenchCamera& camera = kCameras[state.range(0)];
  const size_t bytes = static_cast<size_t>(camera.width) * camera.height * camera.bytesPerPixel;
  std::vector<unsigned char> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
  }
  SetFrameCounters(state, camera);
}

// Arguments: 0 = 640x480 Y8, 1 = 1280x960 Y8, 2 = 1280x960 YUV422 and
// 3 = 1280x960 Bayer RGGB (both BGR to the host); the row pull also 4 =
// 64x960 Y8, whose rows are mostly the call.
BENCHMARK(HostPath)->DenseRange(0, 3)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(SimRetrieve)->DenseRange(0, 3)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RowPull)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace
