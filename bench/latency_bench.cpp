// Latency of a frame through the driver: from the moment the backend
// received it (on Aravis, arv_stream_timeout_pop_buffer returning the
// buffer) to the moment the host's completion callback is entered. Between
// the two: the Aravis buffer lent to the SDK image, the hand-over to the
// camera's image buffer and the grab thread's bookkeeping. The conversion
// comes after, row by row, as the host pulls the rows: the callback's pull
// of the whole frame is reported beside the latency (pull_median_us).
//
// The driver is linked into this program (its static libraries and the
// entry points, as the unit tests link them), so the host's callback, on the
// driver's grab thread, reads the receive time of the frame that thread
// retrieved last (vq::sdk::LastReceiveTimeOnThisThread). Reported per case:
// median, 99th percentile and maximum in microseconds.
//
// Beside it, the SDK's share on the same cameras without the driver
// (SdkShare): from the receipt to RetrieveBuffer's return, and the conversion
// of the whole frame to BGR, the work the host's row pulls share out for a
// colour camera (both fakes offer Bayer formats, so they are colour cameras
// and even their Mono8 frames reach the host as BGR rows).
//
// Two cameras on the aravis backend: Aravis's in-process fake (the Fake
// interface) and its GigE Vision fake on 127.0.0.1, opened by address, never
// by discovery. Run it inside scripts/in-loopback-netns.sh.
#include <arv.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "include/VorquellCamera.h"
#include "sdk/Backend.h"
#include "sdk/FlyCapture2.h"
#include "tests/module/GigEFake.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Size {
  int width;
  int height;
};
constexpr Size kSizes[] = {{640, 480}, {1600, 1200}};
constexpr int kFramesPerSecond = 50;

// The settings file stores the video mode and the pixel format by number:
// FORMAT7 is 23; MONO8 (0x80000000) and RAW8 (0x00400000) as 32-bit signed.
constexpr int kFormat7VideoMode = 23;
int SdkFormat(int64_t arg) { return arg == 0 ? INT32_MIN : 0x00400000; }

// The driver with both fakes on the bus; port 0 the in-process fake, port 1
// the GigE Vision fake.
class Host {
 public:
  static Host& Get() {
    static Host host;
    return host;
  }

  bool Ready() const { return _names.size() == 2; }
  // The serial number the driver lists camera `camera` by: "Model (serial)".
  unsigned int SerialNumber(int camera) const {
    const std::string& name = _names[camera];
    return static_cast<unsigned int>(std::stoul(name.substr(name.rfind('(') + 1)));
  }

  void Start(int camera, int64_t format, const Size& size) {
    std::ofstream(_dir / "VorquellCamera.ini")
        << "[" << _names[camera] << "]\nDCAMVideoMode=" << kFormat7VideoMode
        << "\noffsetX=0\noffsetY=0\nwidth=" << size.width << "\nheight=" << size.height
        << "\nFmt7PixelFormat=" << SdkFormat(format) << "\nFrameRateOn=1\nFrameRate=" << kFramesPerSecond * 100 << "\n";
    int imageSize[2] = {0, 0};
    if (!openCVLPort(0, camera, _names[camera].c_str(), imageSize) || imageSize[0] != size.width ||
        imageSize[1] != size.height)
      std::abort();
    int pixelFormat = 0;
    if (!getProperty(0, camera, "Fmt7PixelFormat", &pixelFormat) || pixelFormat != SdkFormat(format)) std::abort();
    int pixelSize = 8;
    getProperty(0, camera, "PixelSize", &pixelSize);
    _port = camera;
    _width = size.width;
    _height = size.height;
    _rowBytes = size.width * pixelSize / 8;
    _frame.resize(static_cast<size_t>(_rowBytes) * size.height);
    {
      std::lock_guard<std::mutex> lock(_lock);
      _latencies.clear();
      _frames = 0;
    }
    setCompleteCallback(0, camera, OnComplete);
    setProperty(0, camera, "continuous", 1);
  }
  void Stop() {
    setProperty(0, _port, "continuous", 0);
    closeCVLPort(0, _port);
  }
  uint64_t WaitBeyond(uint64_t seen) {
    std::unique_lock<std::mutex> lock(_lock);
    _changed.wait(lock, [&] { return _frames > seen; });
    return _frames;
  }
  // The latencies seen since the last call, in microseconds.
  std::vector<double> TakeLatencies() { return Take(_latencies); }
  // How long the callback took to pull every row of each frame.
  std::vector<double> TakePulls() { return Take(_pulls); }

 private:
  std::vector<double> Take(std::vector<double>& samples) {
    std::lock_guard<std::mutex> lock(_lock);
    std::vector<double> taken;
    taken.swap(samples);
    return taken;
  }

  Host() : _dir(std::filesystem::temp_directory_path() / ("vq-latency-bench-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(_dir);
    setenv("VORQUELL_SDK_BACKEND", "aravis", 1);
    setenv("VORQUELL_ARAVIS_INTERFACES", "Fake", 1);  // never a GigE broadcast
    setenv("VORQUELL_ARAVIS_DEVICES", moduletest::GigEFake::kAddress, 1);
    setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
    _gige = std::make_unique<moduletest::GigEFake>();
    initialize(_dir.c_str(), nullptr);
    const char** names = getCVLCameraConfigNames();
    for (int i = 0; names && names[i]; ++i) _names.emplace_back(names[i]);
    // The in-process fake first.
    std::sort(_names.begin(), _names.end(),
              [](const std::string& a, const std::string& b) { return (a == "Fake (1)") > (b == "Fake (1)"); });
  }
  ~Host() {
    finalize();
    _gige.reset();
    std::error_code ignored;
    std::filesystem::remove_all(_dir, ignored);
  }

  static void OnComplete(int, int) {
    const Clock::time_point entered = Clock::now();
    const Clock::time_point received = vq::sdk::LastReceiveTimeOnThisThread();
    Host& host = Get();
    // As a host does: every row, inside the callback.
    for (int row = 0; row < host._height; ++row)
      getCVLGrabRow(0, host._port, host._frame.data() + static_cast<size_t>(row) * host._rowBytes, row, 0,
                    host._width - 1);
    const Clock::time_point pulled = Clock::now();
    {
      std::lock_guard<std::mutex> lock(host._lock);
      host._latencies.push_back(std::chrono::duration<double, std::micro>(entered - received).count());
      host._pulls.push_back(std::chrono::duration<double, std::micro>(pulled - entered).count());
      ++host._frames;
    }
    host._changed.notify_all();
  }

  std::filesystem::path _dir;
  std::unique_ptr<moduletest::GigEFake> _gige;
  std::vector<std::string> _names;
  int _port = 0;
  int _width = 0;
  int _height = 0;
  int _rowBytes = 0;
  std::vector<unsigned char> _frame;
  std::mutex _lock;
  std::condition_variable _changed;
  uint64_t _frames = 0;
  std::vector<double> _latencies;
  std::vector<double> _pulls;
};

double Percentile(std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0.0;
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(index, sorted.size() - 1)];
}

// Arguments: camera (0 in-process fake, 1 GigE Vision fake), format (0 Mono8,
// 1 BayerRG8, converted to BGR), size (0 640x480, 1 1600x1200).
void PopToCallback(benchmark::State& state) {
  Host& host = Host::Get();
  if (!host.Ready()) {
    state.SkipWithError("the two fake cameras are not on the bus");
    return;
  }
  host.Start(static_cast<int>(state.range(0)), state.range(1), kSizes[state.range(2)]);
  uint64_t seen = host.WaitBeyond(0);
  host.TakeLatencies();  // the first frame pays for the start
  host.TakePulls();
  for (auto _ : state) seen = host.WaitBeyond(seen);
  host.Stop();
  std::vector<double> latencies = host.TakeLatencies();
  std::vector<double> pulls = host.TakePulls();
  std::sort(latencies.begin(), latencies.end());
  std::sort(pulls.begin(), pulls.end());
  state.counters["pull_median_us"] = Percentile(pulls, 0.5);
  state.counters["median_us"] = Percentile(latencies, 0.5);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["max_us"] = latencies.empty() ? 0.0 : latencies.back();
  state.counters["frames"] = static_cast<double>(latencies.size());
}

// The same arguments, through the SDK alone while the driver has the camera
// closed.
void SdkShare(benchmark::State& state) {
  Host& host = Host::Get();
  if (!host.Ready()) {
    state.SkipWithError("the two fake cameras are not on the bus");
    return;
  }
  FlyCapture2::BusManager bus;
  FlyCapture2::PGRGuid guid;
  FlyCapture2::Camera camera;
  FlyCapture2::Format7ImageSettings settings;
  settings.width = static_cast<unsigned>(kSizes[state.range(2)].width);
  settings.height = static_cast<unsigned>(kSizes[state.range(2)].height);
  settings.pixelFormat = static_cast<FlyCapture2::PixelFormat>(static_cast<uint32_t>(SdkFormat(state.range(1))));
  if (bus.GetCameraFromSerialNumber(host.SerialNumber(static_cast<int>(state.range(0))), &guid) !=
          FlyCapture2::PGRERROR_OK ||
      camera.Connect(&guid) != FlyCapture2::PGRERROR_OK ||
      camera.SetFormat7Configuration(&settings, 1400) != FlyCapture2::PGRERROR_OK ||
      camera.StartCapture() != FlyCapture2::PGRERROR_OK) {
    state.SkipWithError("the camera cannot capture through the SDK");
    return;
  }
  FlyCapture2::Image image, bgr;
  camera.RetrieveBuffer(&image);  // the first frame pays for the start
  std::vector<double> retrieve, convert;
  for (auto _ : state) {
    if (camera.RetrieveBuffer(&image) != FlyCapture2::PGRERROR_OK) continue;
    const Clock::time_point returned = Clock::now();
    image.Convert(FlyCapture2::PIXEL_FORMAT_BGR, &bgr);
    const Clock::time_point converted = Clock::now();
    retrieve.push_back(std::chrono::duration<double, std::micro>(returned - image.GetReceiveTime()).count());
    convert.push_back(std::chrono::duration<double, std::micro>(converted - returned).count());
  }
  camera.StopCapture();
  camera.Disconnect();
  std::sort(retrieve.begin(), retrieve.end());
  std::sort(convert.begin(), convert.end());
  state.counters["retrieve_median_us"] = Percentile(retrieve, 0.5);
  state.counters["retrieve_p99_us"] = Percentile(retrieve, 0.99);
  state.counters["convert_median_us"] = Percentile(convert, 0.5);
  state.counters["convert_p99_us"] = Percentile(convert, 0.99);
}

BENCHMARK(SdkShare)
    ->ArgNames({"gige", "bayer", "large"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(PopToCallback)
    ->ArgNames({"gige", "bayer", "large"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Iterations(300)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
