// Capture on the simulated cameras: numbered frames, pacing, stopping,
// retrieval faults and removal while capturing.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <vector>

#include "sdk/Backend.h"
#include "sim_test_support.h"
#include "tests/support/TestSupport.h"

namespace simtest {
namespace {

constexpr unsigned int kSlow = 900;

class SimCaptureTest : public SimTest {
 protected:
  // A camera whose paced frames never come while a test runs.
  void ConnectSlowCamera(bool freeRunning = false) {
    vq::sim::CameraConfig slow = SlowCamera(kSlow);
    slow.freeRunning = freeRunning;
    vq::sim::AddCamera(slow);
    ASSERT_TRUE(Ok(ConnectBySerial(_camera, kSlow)));
  }

  std::future<Error> RetrieveInBackground(Image* image) {
    return std::async(std::launch::async, [this, image] { return _camera.RetrieveBuffer(image); });
  }

  // The result of a background retrieval that should have been released;
  // one that was not is failed and then released, so the test cannot hang.
  static Error Outcome(std::future<Error>& retrieval, unsigned int serial) {
    if (retrieval.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the blocked retrieval was not released";
      vq::sim::SetFreeRunning(serial, true);
    }
    return retrieval.get();
  }

  bool WaitUntilRetrievalBlocks(unsigned int serial) {
    return vqtest::WaitFor([&] { return vq::sim::RetrievalsWaiting(serial) == 1; });
  }

  Camera _camera;
};

bool SamePixels(const Image& a, const Image& b, size_t from) {
  return a.GetDataSize() == b.GetDataSize() &&
         std::memcmp(a.GetData() + from, b.GetData() + from, a.GetDataSize() - from) == 0;
}

TEST_F(SimCaptureTest, FramesAreNumberedFromOneAndEachDiffersFromTheLast) {
  vq::sim::SetFreeRunning(kColor, true);
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  EXPECT_TRUE(vq::sim::IsCapturing(kColor));
  std::vector<Image> frames(6);
  for (size_t i = 0; i < frames.size(); ++i) {
    ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&frames[i])));
    EXPECT_EQ(frames[i].GetFrameNumber(), i + 1);
    EXPECT_EQ(Stamp(frames[i]), i + 1);
    if (i > 0) {
      EXPECT_FALSE(SamePixels(frames[i], frames[i - 1], 8)) << "frame " << i + 1;
    }
  }
  ASSERT_TRUE(Ok(_camera.StopCapture()));
  EXPECT_FALSE(vq::sim::IsCapturing(kColor));

  // Numbering starts again with each capture; the delivery count goes on.
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image again;
  ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&again)));
  EXPECT_EQ(again.GetFrameNumber(), 1u);
  EXPECT_EQ(vq::sim::FramesDelivered(kColor), 7u);
}

TEST_F(SimCaptureTest, EachFrameCarriesItsReceiveTimeIntoItsConversionAndToTheRetrievingThread) {
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));  // paced: each frame is received while a retrieval waits
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image previous;
  for (int i = 0; i < 3; ++i) {
    const auto before = std::chrono::steady_clock::now();
    Image image;
    ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
    const auto after = std::chrono::steady_clock::now();
    EXPECT_LE(before, image.GetReceiveTime());
    EXPECT_GE(after, image.GetReceiveTime());
    if (i > 0) {
      EXPECT_LT(previous.GetReceiveTime(), image.GetReceiveTime());
    }
    EXPECT_EQ(image.GetReceiveTime(), vq::sdk::LastReceiveTimeOnThisThread());
    Image bgr;
    ASSERT_TRUE(Ok(image.Convert(PIXEL_FORMAT_BGR, &bgr)));
    EXPECT_EQ(image.GetReceiveTime(), bgr.GetReceiveTime());
    previous = image;
  }
  // Another thread has retrieved nothing.
  auto elsewhere = std::async(std::launch::async, [] { return vq::sdk::LastReceiveTimeOnThisThread(); });
  EXPECT_EQ(std::chrono::steady_clock::time_point(), elsewhere.get());
}

TEST_F(SimCaptureTest, PacedFramesComeInOrderAtTheFrameRate) {
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kMono)));  // 640x480Y8 at 30 fps
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  for (uint64_t number = 1; number <= 3; ++number) {
    ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
    EXPECT_EQ(image.GetFrameNumber(), number);
  }
}

TEST_F(SimCaptureTest, PacedRetrievalWaitsForItsFrameAndFreeRunningReleasesIt) {
  ConnectSlowCamera();
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kSlow));
  EXPECT_EQ(vq::sim::FramesDelivered(kSlow), 0u);

  vq::sim::SetFreeRunning(kSlow, true);
  EXPECT_TRUE(Ok(Outcome(retrieval, kSlow)));
  EXPECT_EQ(image.GetFrameNumber(), 1u);
  EXPECT_EQ(image.GetPixelFormat(), PIXEL_FORMAT_MONO16);
}

TEST_F(SimCaptureTest, FreeRunningCameraDeliversWithoutWaitingForTheFrameRate) {
  ConnectSlowCamera(true);
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  auto retrievals = std::async(std::launch::async, [this] {
    Image image;
    for (int i = 0; i < 3; ++i) {
      Error error = _camera.RetrieveBuffer(&image);
      if (error != PGRERROR_OK) return error;
    }
    return Error();
  });
  bool done = vqtest::WaitFor([&] { return vq::sim::FramesDelivered(kSlow) == 3; });
  _camera.StopCapture();  // releases the retrieval if it waited after all
  EXPECT_TRUE(done) << "three frames at 77 s each were not delivered at once";
  EXPECT_TRUE(Ok(retrievals.get()));
}

TEST_F(SimCaptureTest, StopCaptureReleasesABlockedRetrieval) {
  ConnectSlowCamera();
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kSlow));

  ASSERT_TRUE(Ok(_camera.StopCapture()));
  Error error = Outcome(retrieval, kSlow);
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_NOT_STARTED);
  EXPECT_STREQ(error.GetDescription(), "Capture was stopped while waiting for a frame.");
  error = _camera.RetrieveBuffer(&image);
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_NOT_STARTED);
  EXPECT_STREQ(error.GetDescription(), "Capture is not running.");
  EXPECT_EQ(_camera.StopCapture().GetType(), PGRERROR_ISOCH_NOT_STARTED);
}

TEST_F(SimCaptureTest, DisconnectReleasesABlockedRetrievalAndEndsTheCapture) {
  ConnectSlowCamera();
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kSlow));
  ASSERT_TRUE(Ok(_camera.Disconnect()));
  EXPECT_EQ(Outcome(retrieval, kSlow).GetType(), PGRERROR_ISOCH_NOT_STARTED);
  EXPECT_FALSE(vq::sim::IsCapturing(kSlow));
  EXPECT_EQ(vq::sim::Connections(kSlow), 0);
}

TEST_F(SimCaptureTest, RetrievalWithoutCaptureFails) {
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  Image image;
  EXPECT_EQ(_camera.RetrieveBuffer(&image).GetType(), PGRERROR_ISOCH_NOT_STARTED);
}

TEST_F(SimCaptureTest, FailedRetrievalsComeFirstAndDoNotUseUpFrameNumbers) {
  vq::sim::SetFreeRunning(kColor, true);
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  vq::sim::FailNextRetrievals(kColor, 2);
  Image image;
  for (int i = 0; i < 2; ++i) {
    Error error = _camera.RetrieveBuffer(&image);
    EXPECT_EQ(error.GetType(), PGRERROR_IMAGE_CONSUMPTION_ERROR);
    EXPECT_STREQ(error.GetDescription(), "Simulated fault: the frame was lost in transfer.");
  }
  ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
  EXPECT_EQ(image.GetFrameNumber(), 1u);
}

TEST_F(SimCaptureTest, StartFaultRefusesTheCapture) {
  vq::sim::SetFaults(kColor, {.startCapture = true});
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  Error error = _camera.StartCapture();
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_START_FAILED);
  EXPECT_STREQ(error.GetDescription(), "Simulated fault: the isochronous transfer could not be started.");
  EXPECT_FALSE(vq::sim::IsCapturing(kColor));
  vq::sim::SetFaults(kColor, {});
  EXPECT_TRUE(Ok(_camera.StartCapture()));
}

TEST_F(SimCaptureTest, RemovalFailsRetrievalsUntilTheCameraIsBack) {
  ConnectSlowCamera(true);
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Image image;
  ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
  vq::sim::SetFreeRunning(kSlow, false);
  auto retrieval = RetrieveInBackground(&image);
  ASSERT_TRUE(WaitUntilRetrievalBlocks(kSlow));

  vq::sim::RemoveCamera(kSlow);
  Error error = Outcome(retrieval, kSlow);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_CONNECTED);
  EXPECT_STREQ(error.GetDescription(), "Camera 900 has been removed from the bus.");
  vq::sim::SetFreeRunning(kSlow, true);
  EXPECT_EQ(_camera.RetrieveBuffer(&image).GetType(), PGRERROR_NOT_CONNECTED);

  vq::sim::ReattachCamera(kSlow);
  ASSERT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
  EXPECT_EQ(image.GetFrameNumber(), 2u);
}

TEST_F(SimCaptureTest, OnlyTheConnectionThatStartedTheCaptureOwnsIt) {
  vq::sim::SetFreeRunning(kColor, true);
  Camera other;
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  ASSERT_TRUE(Ok(ConnectBySerial(other, kColor)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));

  EXPECT_EQ(_camera.StartCapture().GetType(), PGRERROR_ISOCH_ALREADY_STARTED);
  Error error = other.StartCapture();
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_ALREADY_STARTED);
  EXPECT_STREQ(error.GetDescription(), "The camera is capturing through another connection.");
  EXPECT_EQ(other.StopCapture().GetType(), PGRERROR_ISOCH_NOT_STARTED);
  ASSERT_TRUE(Ok(other.Disconnect()));  // does not end the capture it does not own

  Image image;
  EXPECT_TRUE(Ok(_camera.RetrieveBuffer(&image)));
}

TEST_F(SimCaptureTest, ModesCannotChangeWhileCapturing) {
  ASSERT_TRUE(Ok(ConnectBySerial(_camera, kColor)));
  ASSERT_TRUE(Ok(_camera.StartCapture()));
  Error error = _camera.SetVideoModeAndFrameRate(VIDEOMODE_640x480Y8, FRAMERATE_15);
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_ALREADY_STARTED);
  EXPECT_STREQ(error.GetDescription(), "Cannot change the video mode while capturing.");
  Format7ImageSettings settings;
  settings.width = 1280;
  settings.height = 960;
  settings.pixelFormat = PIXEL_FORMAT_RAW8;
  error = _camera.SetFormat7Configuration(&settings, 2048);
  EXPECT_EQ(error.GetType(), PGRERROR_ISOCH_ALREADY_STARTED);
  EXPECT_STREQ(error.GetDescription(), "Cannot change the Format7 configuration while capturing.");
  EXPECT_EQ(vq::sim::CurrentVideoMode(kColor), VIDEOMODE_640x480YUV422);
}

TEST_F(SimCaptureTest, DestroyingACapturingCameraEndsTheCapture) {
  {
    Camera camera;
    ASSERT_TRUE(Ok(ConnectBySerial(camera, kMono)));
    ASSERT_TRUE(Ok(camera.StartCapture()));
    EXPECT_TRUE(vq::sim::IsCapturing(kMono));
  }
  EXPECT_FALSE(vq::sim::IsCapturing(kMono));
}

}  // namespace
}  // namespace simtest
