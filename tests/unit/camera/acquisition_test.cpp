// Acquisition end to end through the entry points, on the simulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "include/VorquellCamera.h"
#include "log/DriverContext.h"
#include "sdk/sim/TestPattern.h"
#include "tests/support/DriverFixture.h"

using namespace vq;

using vqtest::DriverFixture;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// What the completion callback saw. The callback runs on the grab thread.
struct Host {
  std::atomic<int> callbacks{0};
  std::atomic<bool> pullRows{false};
  int port = 0;
  int bytesPerPixel = 1;
  std::mutex lock;
  std::vector<std::vector<unsigned char>> frames;  // pulled frames, in order
};
Host host;

void PullFrame() {
  std::vector<unsigned char> frame(static_cast<size_t>(kWidth) * kHeight * host.bytesPerPixel);
  for (int row = 0; row < kHeight; ++row)
    EXPECT_EQ(1, getCVLGrabRow(0, host.port, frame.data() + row * kWidth * host.bytesPerPixel, row, 0, kWidth - 1));
  std::lock_guard<std::mutex> lock(host.lock);
  host.frames.push_back(std::move(frame));
}

void OnComplete(int grabber, int port) {
  EXPECT_EQ(0, grabber);
  EXPECT_EQ(host.port, port);
  if (host.pullRows) PullFrame();
  ++host.callbacks;
}

uint64_t StampOf(const std::vector<unsigned char>& monoFrame) {
  uint64_t number = 0;
  for (unsigned i = 0; i < vq::sim::TestPattern::kStampBytes; ++i) number |= uint64_t(monoFrame[i]) << (8 * i);
  return number;
}

FlyCapture2::Image Expected(FlyCapture2::PixelFormat format, uint64_t number) {
  vq::sim::FrameLayout layout;
  layout.width = layout.sensorWidth = kWidth;
  layout.height = layout.sensorHeight = kHeight;
  layout.format = format;
  FlyCapture2::Image image;
  vq::sim::TestPattern(layout).Render(number, &image);
  return image;
}

class Acquisition : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    host.callbacks = 0;
    host.pullRows = true;
    host.frames.clear();
  }
  void TearDown() override {
    // Stop the callbacks before the host state goes.
    for (int i = 0; i < List().Count(); ++i) List()[i].SetCompleteCB(nullptr);
    DriverFixture::TearDown();
  }
  void OpenOnPort(const char* name, int port, int bytesPerPixel) {
    host.port = port;
    host.bytesPerPixel = bytesPerPixel;
    int size[2];
    ASSERT_EQ(1, openCVLPort(0, port, name, size));
    ASSERT_EQ(kWidth, size[0]);
    ASSERT_EQ(kHeight, size[1]);
    ASSERT_EQ(1, setCompleteCallback(0, port, OnComplete));
  }
  bool WaitForCallbacks(int count) {
    return vqtest::WaitFor([&] { return host.callbacks >= count; });
  }
};

}  // namespace

TEST_F(Acquisition, ASingleMonochromeGrabDeliversTheCameraFrameExactly) {
  OpenOnPort("Mono (2222)", 3, 1);
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_TRUE(WaitForCallbacks(1));
  std::vector<unsigned char> frame = host.frames.at(0);
  uint64_t number = StampOf(frame);
  EXPECT_GE(number, 1u);
  FlyCapture2::Image expected = Expected(FlyCapture2::PIXEL_FORMAT_MONO8, number);
  ASSERT_EQ(frame.size(), static_cast<size_t>(expected.GetStride()) * kHeight);
  EXPECT_EQ(0, std::memcmp(frame.data(), expected.GetData(), frame.size()));
  EXPECT_TRUE(Log().Contains("GrabThread::ThreadMain: CB called, port#3 ser#2222 state:'Capture'\n"));
  // One grab, one frame: each further grab gives one newer frame, and no
  // frame comes that nobody asked for (the close waits for the grab thread).
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_TRUE(WaitForCallbacks(2));
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_TRUE(WaitForCallbacks(4));
  closeCVLPort(0, 3);
  EXPECT_EQ(4, host.callbacks);
  std::lock_guard<std::mutex> lock(host.lock);
  for (size_t i = 1; i < host.frames.size(); ++i) EXPECT_GT(StampOf(host.frames[i]), StampOf(host.frames[i - 1]));
}

// A grab right after the host switched continuous capture off, while the
// stream is still stopping, gives one frame.
TEST_F(Acquisition, AGrabAfterContinuousOffGivesOneFrame) {
  OpenOnPort("Mono (2222)", 3, 1);
  host.pullRows = false;
  ASSERT_EQ(1, setProperty(0, 3, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(3));
  ASSERT_EQ(1, setProperty(0, 3, "continuous", 0));
  const int streamed = host.callbacks;  // and perhaps one more, already on its way
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_TRUE(WaitForCallbacks(streamed + 1));
  closeCVLPort(0, 3);
  EXPECT_GE(host.callbacks, streamed + 1);
  EXPECT_LE(host.callbacks, streamed + 2);
  EXPECT_FALSE(Log().ContainsPrefix("Camera::Grab: WARNING: ignored"));
}

// A camera in a mode whose pixels are not its rows' format still hands the
// host rows of its own format and full width: BGR for a colour camera in a
// grey mode (not grey bytes in the first third of each row), grey for a
// monochrome camera in a 16-bit mode (not the first third of a BGR row).
struct ModeCase {
  const char* name;
  bool color;
  const char* mode;
  FlyCapture2::PixelFormat modeFormat;
};

class CameraInAForeignMode : public Acquisition, public ::testing::WithParamInterface<ModeCase> {
  std::string Fleet() const override {
    const std::string mode = GetParam().mode;
    return std::string(R"({"cameras": [{"model": "Cam", "serial": 1234, "color": )") +
           (GetParam().color ? "true" : "false") + R"(, "videoModes": [{"mode": ")" + mode +
           R"(", "frameRates": ["30 fps"]}], "current": {"videoMode": ")" + mode + R"(", "frameRate": "30 fps"}}]})";
  }
};

TEST_P(CameraInAForeignMode, DeliversRowsInTheCamerasOwnFormat) {
  const int bytesPerPixel = GetParam().color ? 3 : 1;
  OpenOnPort("Cam (1234)", 0, bytesPerPixel);
  ASSERT_EQ(1, doCVLGrab(0, 0));
  ASSERT_TRUE(WaitForCallbacks(1));
  const FlyCapture2::PixelFormat rowFormat =
      GetParam().color ? FlyCapture2::PIXEL_FORMAT_BGR : FlyCapture2::PIXEL_FORMAT_MONO8;
  FlyCapture2::Image converted;
  ASSERT_EQ(FlyCapture2::PGRERROR_OK, Expected(GetParam().modeFormat, 1).Convert(rowFormat, &converted));
  const std::vector<unsigned char>& frame = host.frames.at(0);
  const size_t rowBytes = static_cast<size_t>(kWidth) * bytesPerPixel;
  for (int row = 0; row < kHeight; ++row)
    ASSERT_EQ(0,
              std::memcmp(frame.data() + row * rowBytes, converted.GetData() + row * converted.GetStride(), rowBytes))
        << "row " << row;
}

INSTANTIATE_TEST_SUITE_P(Modes, CameraInAForeignMode,
                         ::testing::Values(ModeCase{"ColourInY8", true, "640x480Y8", FlyCapture2::PIXEL_FORMAT_MONO8},
                                           ModeCase{"MonochromeInY16", false, "640x480Y16",
                                                    FlyCapture2::PIXEL_FORMAT_MONO16}),
                         [](const ::testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

TEST_F(Acquisition, AColourGrabDeliversTheConvertedFrameInBgrOrder) {
  OpenOnPort("Colour (1111)", 0, 3);
  int pixelSize = 0;
  ASSERT_EQ(1, getProperty(0, 0, "PixelSize", &pixelSize));
  EXPECT_EQ(24, pixelSize);
  ASSERT_EQ(1, doCVLGrab(0, 0));
  ASSERT_TRUE(WaitForCallbacks(1));
  // The first frame of a capture is number 1.
  FlyCapture2::Image converted;
  ASSERT_EQ(FlyCapture2::PGRERROR_OK,
            Expected(FlyCapture2::PIXEL_FORMAT_422YUV8, 1).Convert(FlyCapture2::PIXEL_FORMAT_BGR, &converted));
  const std::vector<unsigned char>& frame = host.frames.at(0);
  ASSERT_EQ(frame.size(), static_cast<size_t>(kWidth) * kHeight * 3);
  for (int row = 0; row < kHeight; ++row)
    ASSERT_EQ(
        0, std::memcmp(frame.data() + row * kWidth * 3, converted.GetData() + row * converted.GetStride(), kWidth * 3))
        << "row " << row;
  // Across the colour bars, the host's BGR bytes carry the pattern's colours.
  const unsigned y = kHeight * 9 / 16;
  for (unsigned x = 8; x < kWidth; x += 80) {
    vq::sim::Rgb rgb = vq::sim::TestPattern::ColorAt(x, y, kWidth, kHeight, 1 % vq::sim::TestPattern::kBaseFrames);
    const unsigned char* pixel = frame.data() + (y * kWidth + x) * 3;
    EXPECT_NEAR(rgb.b >> 8, pixel[0], 3) << "x=" << x;
    EXPECT_NEAR(rgb.g >> 8, pixel[1], 3) << "x=" << x;
    EXPECT_NEAR(rgb.r >> 8, pixel[2], 3) << "x=" << x;
  }
}

TEST_F(Acquisition, ContinuousGrabbingDeliversSuccessiveFrames) {
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(5));
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 0));
  ASSERT_TRUE(WaitForState(Mono(), CamOpened));
  std::lock_guard<std::mutex> lock(host.lock);
  ASSERT_GE(host.frames.size(), 5u);
  for (size_t i = 1; i < host.frames.size(); ++i) EXPECT_EQ(StampOf(host.frames[i - 1]) + 1, StampOf(host.frames[i]));
  int value = -1;
  ASSERT_EQ(1, getProperty(0, 1, "continuous", &value));
  EXPECT_EQ(0, value);
  auto figures = Mono().Statistics().Snapshot();
  EXPECT_EQ(0, figures.overwriteCount);
  EXPECT_GE(figures.rowsRead.count, 5);
}

TEST_F(Acquisition, AHostThatDoesNotPullRowsIsCountedAsOverwritten) {
  host.pullRows = false;
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(4));
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 0));
  ASSERT_TRUE(WaitForState(Mono(), CamOpened));
  auto figures = Mono().Statistics().Snapshot();
  EXPECT_EQ(host.callbacks - 1, figures.overwriteCount);
  EXPECT_TRUE(Log().Contains(
      "WARNING: Vantor CB called before Vantors has read the previous image, port#1 ser#2222 state:'Capture'\n"));
}

TEST_F(Acquisition, ThreeFailedRetrievalsResetTheCameraAndRestartTheStream) {
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(2));
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 3);
  ASSERT_TRUE(WaitForLine(
      "GrabThread::ThreadMain: ERROR: Retrieve image failure, scheduling camera Mono (2222) for reset, port=1\n"));
  ASSERT_TRUE(WaitForLine("CameraState::AddRequest: request Close/Open added, camera ser# 2222\n"));
  ASSERT_TRUE(WaitForLine("CameraState::SetState: new state:'Opened ', prev state:'Closed ', serial#2222\n"));
  int before = host.callbacks;
  EXPECT_TRUE(WaitForCallbacks(before + 3)) << "the stream restarts in continuous mode";
  EXPECT_TRUE(Mono().AsksContinuous());
}

TEST_F(Acquisition, TwoFailuresAndASuccessKeepTheStreamRunning) {
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(1));
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 2);
  int before = host.callbacks;
  ASSERT_TRUE(WaitForCallbacks(before + 3));
  EXPECT_EQ(2u, [&] {
    size_t n = 0;
    for (const auto& line : Log().Messages()) n += line.rfind("Camera::RetrieveImage: ERROR: RetrieveBuffer, ", 0) == 0;
    return n;
  }());
  EXPECT_FALSE(Log().ContainsPrefix("GrabThread::ThreadMain: ERROR: Retrieve image failure"));
  // The frame wiped the count: one more failure is the first of a new run.
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 1);
  before = host.callbacks;
  ASSERT_TRUE(WaitForCallbacks(before + 3));
  EXPECT_FALSE(Log().ContainsPrefix("GrabThread::ThreadMain: ERROR: Retrieve image failure"));
}

// A lossy link: incomplete frames are dropped and counted, quietly, and the
// stream goes on with the frames that come whole. Only a link that delivers
// nothing whole for 3 s gets the camera reset.
TEST_F(Acquisition, IncompleteFramesAreDroppedAndOnlyALinkWithoutWholeFramesIsReset) {
  OpenOnPort("Mono (2222)", 1, 1);
  host.pullRows = false;
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(1));
  vq::sim::DeliverIncompleteFrames(vqtest::kMonoSerial, 4);
  int incomplete = 0;
  ASSERT_TRUE(
      vqtest::WaitFor([&] { return getProperty(0, 1, "FramesIncomplete", &incomplete) == 1 && incomplete == 4; }));
  int before = host.callbacks;
  ASSERT_TRUE(WaitForCallbacks(before + 2));
  int dropped = 0;
  ASSERT_EQ(1, getProperty(0, 1, "FramesDropped", &dropped));
  EXPECT_EQ(4, dropped);
  EXPECT_FALSE(Log().ContainsPrefix("Camera::RetrieveImage: ERROR"));
  EXPECT_FALSE(Log().ContainsPrefix("GrabThread::ThreadMain: ERROR: Retrieve image failure"));
  ASSERT_EQ(1, setProperty(0, 1, "PrintStat", 1));
  EXPECT_TRUE(Log().Contains("Camera DROPS: dropped=4 incomplete=4, port#1 ser#2222 state:'Capture'\n"));

  const auto lossStart = std::chrono::steady_clock::now();
  vq::sim::DeliverIncompleteFrames(vqtest::kMonoSerial, std::numeric_limits<int>::max());
  ASSERT_TRUE(WaitForLine(
      "GrabThread::ThreadMain: ERROR: Retrieve image failure, scheduling camera Mono (2222) for reset, port=1\n"));
  EXPECT_GE(std::chrono::steady_clock::now() - lossStart, std::chrono::milliseconds(2900));
  vq::sim::DeliverIncompleteFrames(vqtest::kMonoSerial, 0);
  before = host.callbacks;
  EXPECT_TRUE(WaitForCallbacks(before + 2)) << "the reopened camera streams again";
}

// The host reads the number and the time of the frame it was told about,
// and how many frames failed retrievals have lost.
TEST_F(Acquisition, TheFrameLastAnnouncedHasItsNumberTimeAndTheDropCount) {
  OpenOnPort("Mono (2222)", 3, 1);
  const auto before = std::chrono::steady_clock::now();
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_TRUE(WaitForCallbacks(1));
  const auto after = std::chrono::steady_clock::now();
  int number = 0, low = 0, high = 0, dropped = -1;
  ASSERT_EQ(1, getProperty(0, 3, "FrameNumber", &number));
  ASSERT_EQ(1, getProperty(0, 3, "FrameTimestampLow", &low));
  ASSERT_EQ(1, getProperty(0, 3, "FrameTimestampHigh", &high));
  ASSERT_EQ(1, getProperty(0, 3, "FramesDropped", &dropped));
  {
    std::lock_guard<std::mutex> lock(host.lock);
    EXPECT_EQ(StampOf(host.frames.at(0)), static_cast<uint64_t>(number));
  }
  // The simulated camera sends no time of its own: the arrival's, in µs.
  const uint64_t time = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | static_cast<uint32_t>(low);
  auto micros = [](std::chrono::steady_clock::time_point t) {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
  };
  EXPECT_GE(time, micros(before));
  EXPECT_LE(time, micros(after));
  EXPECT_EQ(0, dropped);

  host.pullRows = false;
  ASSERT_EQ(1, setProperty(0, 3, "continuous", 1));
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 2);
  ASSERT_TRUE(vqtest::WaitFor([&] { return getProperty(0, 3, "FramesDropped", &dropped) == 1 && dropped == 2; }));
}

TEST_F(Acquisition, AFrameArrivingDuringAStopIsDropped) {
  // At 7.5 fps the grab thread waits in its retrieval most of the time, so
  // the stop finds it retrieving and the frame that arrives is dropped.
  ASSERT_EQ(FlyCapture2::PGRERROR_OK, [] {
    FlyCapture2::BusManager bus;
    FlyCapture2::PGRGuid guid;
    bus.GetCameraFromSerialNumber(vqtest::kMonoSerial, &guid);
    FlyCapture2::Camera camera;
    camera.Connect(&guid);
    return camera.SetVideoModeAndFrameRate(FlyCapture2::VIDEOMODE_640x480Y8, FlyCapture2::FRAMERATE_7_5);
  }());
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(1));
  ASSERT_TRUE(vqtest::WaitFor([] { return vq::sim::RetrievalsWaiting(vqtest::kMonoSerial) == 1; }));
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 0));
  ASSERT_TRUE(WaitForState(Mono(), CamOpened));
  int callbacks = host.callbacks;
  EXPECT_TRUE(WaitForLine("Camera::RetrieveImage: Emergency quitting function because capture stop state detected, "
                          "port#1 ser#2222 state:'Capture' \n") ||
              Log().ContainsPrefix("Camera::RetrieveImage: Emergency quitting function"));
  EXPECT_EQ(callbacks, host.callbacks);
  EXPECT_FALSE(Log().ContainsPrefix("Camera::RetrieveImage: ERROR"));
}

TEST_F(Acquisition, RemovalDuringCaptureWaitsForTheArrivalAndRestoresCapture) {
  OpenOnPort("Colour (1111)", 2, 3);
  ASSERT_EQ(1, setProperty(0, 2, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(2));
  vq::sim::RemoveCamera(vqtest::kColourSerial);
  ASSERT_TRUE(WaitForLine("BUS EVENT CALLBACK - REMOVAL - invoked, camera serial#:1111\n"));
  ASSERT_TRUE(
      WaitForLine("Camera::HandleCameraStateRequest: skipping ReqCameraOpenOnArrival for a while, "
                  "port#2 ser#1111 state:'Closed '\n"));
  int before = host.callbacks;
  vq::sim::ReattachCamera(vqtest::kColourSerial);
  ASSERT_TRUE(WaitForLine("BUS EVENT CALLBACK - ARRIVAL - invoked, camera serial#:1111\n"));
  EXPECT_TRUE(WaitForState(Colour(), CamCapture));
  EXPECT_TRUE(WaitForCallbacks(before + 2));
  EXPECT_NE(std::string::npos, List().BusStatsText().find("Arr=1 Rem=1"));
}

// Host threads pulling rows while frames follow each other as fast as the
// camera makes them: every row is whole, one frame's (the simulated frames
// move sideways from one to the next, so a row stitched from two is none of
// them).
TEST_F(Acquisition, RowsPulledByTwoThreadsWhileFramesChangeAreWhole) {
  OpenOnPort("Mono (2222)", 1, 1);
  host.pullRows = false;
  vq::sim::SetFreeRunning(vqtest::kMonoSerial, true);
  constexpr int kRow = 10;
  std::vector<std::vector<unsigned char>> wholeRows;
  for (uint64_t phase = 0; phase < vq::sim::TestPattern::kBaseFrames; ++phase) {
    FlyCapture2::Image frame = Expected(FlyCapture2::PIXEL_FORMAT_MONO8, phase);
    const unsigned char* row = frame.GetData() + static_cast<size_t>(kRow) * frame.GetStride();
    wholeRows.emplace_back(row, row + kWidth);
  }
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(1));
  const int before = host.callbacks;
  std::atomic<int> stitched{0};
  auto pull = [&] {
    std::vector<unsigned char> row(kWidth);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (host.callbacks < before + 1000 && std::chrono::steady_clock::now() < deadline) {
      ASSERT_EQ(1, getCVLGrabRow(0, 1, row.data(), kRow, 0, kWidth - 1));
      if (std::find(wholeRows.begin(), wholeRows.end(), row) == wholeRows.end()) ++stitched;
    }
  };
  std::thread first(pull), second(pull);
  first.join();
  second.join();
  EXPECT_EQ(0, stitched.load());
  EXPECT_GE(host.callbacks, before + 1000) << "the frames did not change under the pulls";
}

TEST_F(Acquisition, RowsOfAnIdleCameraAreTheDummyLine) {
  OpenOnPort("Colour (1111)", 0, 3);
  std::vector<unsigned char> row(CameraList::kDummyLineSize + 100, 0);
  ASSERT_EQ(1, getCVLGrabRow(0, 0, row.data(), 5, 0, 639));
  for (int i = 0; i < 1920; ++i) ASSERT_EQ(0x78, row[i]);
  EXPECT_EQ(0, row[1920]) << "640 colour pixels are 1920 bytes";
  EXPECT_TRUE(
      Log().Contains("Camera::GetRow, WARNING: camera is not in valid state, returning dummy line, row=5/479, "
                     "port#0 ser#1111 state:'Opened '\n"));
  // A request longer than a row is cut to one row, although the dummy line
  // holds more.
  for (int last : {640, 4095, 99999, std::numeric_limits<int>::max()}) {
    std::fill(row.begin(), row.end(), 0);
    ASSERT_EQ(1, getCVLGrabRow(0, 0, row.data(), 5, 0, last));
    EXPECT_EQ(0x78, row[1919]);
    EXPECT_EQ(0, row[1920]) << "lastPixel " << last;
  }
  ASSERT_EQ(1, getCVLGrabRow(0, 0, row.data(), 5, std::numeric_limits<int>::min(), 0));
  EXPECT_EQ(0, row[1920]);
  // No pixels asked for, or no destination: nothing copied.
  EXPECT_EQ(0, getCVLGrabRow(0, 0, row.data(), 5, 10, 9));
  EXPECT_EQ(0, getCVLGrabRow(0, 0, nullptr, 5, 0, 9));
}

// A camera in a grab error still shows its last frame: the host's rows are
// that frame's, not the dummy line. The bus thread is held up in another
// camera's open (the test holds that camera's parameter lock), so the error
// stays until the rows are read.
TEST_F(Acquisition, RowsDuringAGrabErrorAreTheLastFramesRows) {
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(2));
  std::unique_lock<std::mutex> stall(Colour().Settings().Lock());
  Colour().State().AddRequest(ReqCameraOpen);
  ASSERT_TRUE(WaitForLine("Camera::DoOpen: Opening camera Colour (1111), port#-1 ser#1111 state:'Closed '\n"));
  vq::sim::FailNextRetrievals(vqtest::kMonoSerial, 3);
  ASSERT_TRUE(WaitForState(Mono(), CamGrabErr));
  std::vector<unsigned char> last;
  {
    std::lock_guard<std::mutex> lock(host.lock);
    last = host.frames.back();
  }
  std::vector<unsigned char> row(kWidth);
  for (int r : {0, 5, 240, kHeight - 1}) {
    ASSERT_EQ(1, getCVLGrabRow(0, 1, row.data(), r, 0, kWidth - 1));
    EXPECT_EQ(0, std::memcmp(row.data(), last.data() + r * kWidth, kWidth)) << "row " << r;
  }
  EXPECT_TRUE(Mono().State().IsState(CamGrabErr));
  EXPECT_FALSE(Log().ContainsPrefix("Camera::GetRow, WARNING: camera is not in valid state, returning dummy line"));
}

// A stopped capture gives the camera back the buffer of its last frame.
TEST_F(Acquisition, AStoppedCaptureGivesItsFrameBack) {
  vq::sim::SetLendBuffers(vqtest::kMonoSerial, true);
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 1));
  ASSERT_TRUE(WaitForCallbacks(3));
  EXPECT_GE(vq::sim::BuffersLent(vqtest::kMonoSerial), 1) << "the frame the host reads is a lent buffer";
  ASSERT_EQ(1, setProperty(0, 1, "continuous", 0));
  ASSERT_TRUE(vqtest::WaitFor(
      [&] { return Mono().State().IsState(CamOpened) && !Mono().State().HasRequests() && !Mono().State().Busy(); }));
  EXPECT_EQ(0, vq::sim::BuffersLent(vqtest::kMonoSerial));
}

// Rows stay within the row and the frame, and the log says where the host is:
// the first and last row, a row outside, and at level 4 every row.
TEST_F(Acquisition, RowCopiesStayWithinTheRow) {
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, doCVLGrab(0, 1));
  ASSERT_TRUE(WaitForCallbacks(1));
  Log().Clear();
  std::vector<unsigned char> row(4096, 0xEE);
  ASSERT_EQ(1, getCVLGrabRow(0, 1, row.data(), 479, 0, 4000));
  const std::vector<unsigned char>& frame = host.frames.at(0);
  EXPECT_EQ(0, std::memcmp(row.data(), frame.data() + 479 * kWidth, kWidth));
  EXPECT_EQ(0xEE, row[640]) << "a monochrome row is 640 bytes however many the host asks for";
  EXPECT_TRUE(Log().Contains("Camera::GetRow, last row of 480, port#1 ser#2222 state:'Capture'\n"));
  EXPECT_EQ(0, getCVLGrabRow(0, 1, row.data(), 480, 0, 639)) << "no row 480";
  EXPECT_EQ(0, getCVLGrabRow(0, 1, row.data(), -1, 0, 639));
  EXPECT_TRUE(Log().Contains("ImageBuffer::GetLine: ERROR: line index out of range: 480\n"));
  EXPECT_TRUE(Log().Contains("ImageBuffer::GetLine: ERROR: line index out of range: -1\n"));

  // Row 0 at level 4: the export's trace around the first row's mark.
  GetDriverContext()->logLevel = 4;
  ASSERT_EQ(1, getCVLGrabRow(0, 1, row.data(), 0, 0, 639));
  GetDriverContext()->logLevel = 3;
  const int entering = Log().IndexOf("getCVLGrabRow: entering row=0  grabberNo=0  portNo=1\n");
  ASSERT_GE(entering, 0);
  const int first = Log().IndexOf("Camera::GetRow, first row, port#1 ser#2222 state:'Capture'\n", entering);
  ASSERT_GT(first, entering);
  EXPECT_GT(Log().IndexOf("getCVLGrabRow: leaving row=0  grabberNo=0  portNo=1\n", first), first);
}

TEST_F(Acquisition, ContinuousModeIsRememberedOnAClosedCameraAndClearedByTheOpen) {
  Mono().SetContinuousGrabMode(true);
  EXPECT_TRUE(Mono().AsksContinuous());
  EXPECT_TRUE(
      Log().Contains("Camera::SetContinuousGrabMode: ERROR: ignored, camera is not in opened or capturing state, "
                     "port#-1 ser#2222 state:'Closed '\n"));
  OpenOnPort("Mono (2222)", 1, 1);
  EXPECT_FALSE(Mono().AsksContinuous());
  EXPECT_TRUE(Mono().State().IsState(CamOpened));
}

TEST_F(Acquisition, ACallbacklessFrameIsLoggedAndNotCountedAsUnread) {
  OpenOnPort("Mono (2222)", 1, 1);
  ASSERT_EQ(1, setCompleteCallback(0, 1, nullptr));
  EXPECT_TRUE(Log().Contains("Camera::SetCompleteCB: CB was already assigned. Resetting CB to null. \n"));
  ASSERT_EQ(1, doCVLGrab(0, 1));
  ASSERT_TRUE(WaitForLine("GrabThread::ThreadMain: ERROR: callback is not assigned, port=1\n"));
  EXPECT_FALSE(Mono().Statistics().Snapshot().imagePending);
  EXPECT_EQ(1, setCompleteCallback(0, 1, OnComplete));
  EXPECT_EQ(1, setCompleteCallback(0, 1, OnComplete));
  EXPECT_TRUE(Log().Contains("Camera::SetCompleteCB: CB was already assigned. The new CB is the same function. \n"));
}
