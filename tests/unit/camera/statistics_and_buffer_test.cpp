#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <future>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "camera/CameraStatistics.h"
#include "camera/ImageBuffer.h"
#include "log/TextException.h"
#include "tests/support/TestSupport.h"

using namespace vq;

TEST(TimingAccumulator, FollowsWelford) {
  TimingAccumulator a;
  EXPECT_EQ("0/0.00/-99999999.00", a.Text());
  for (double x : {2.0, 4.0, 9.0}) a.AddSample(x);
  EXPECT_EQ(3, a.count);
  EXPECT_DOUBLE_EQ(5.0, a.mean);
  EXPECT_DOUBLE_EQ(26.0, a.sumSquares);  // (2-5)^2 + (4-5)^2 + (9-5)^2
  EXPECT_DOUBLE_EQ(9.0, a.max);
  EXPECT_EQ("3/5.00/9.00", a.Text());
}

TEST(CameraStatistics, AFreshCameraPrintsZeroCounts) {
  CameraStatistics stats;
  EXPECT_EQ(
      "GrabCnt:0 OvrwCnt:0 (N/mean/max)-> Grab:0/0.00/-99999999.00 Cycle:0/0.00/-99999999.00 "
      "GetRows:0/0.00/-99999999.00 CB:0/0.00/-99999999.00",
      stats.Text());
}

TEST(CameraStatistics, TheFirstRetrievalAddsAGrabSampleButNoCycle) {
  CameraStatistics stats;
  stats.MarkGrabStart();
  stats.MarkGrabEnd();
  auto figures = stats.Snapshot();
  EXPECT_EQ(1, figures.grabCount);
  EXPECT_EQ(1, figures.grab.count);
  EXPECT_EQ(0, figures.cycle.count);
  stats.MarkGrabStart();
  stats.MarkGrabEnd();
  figures = stats.Snapshot();
  EXPECT_EQ(2, figures.grabCount);
  EXPECT_EQ(1, figures.cycle.count);
}

TEST(CameraStatistics, EveryCallbackBeforeTheLastRowCountsAnOverwrite) {
  CameraStatistics stats;
  EXPECT_FALSE(stats.MarkCallback());
  EXPECT_TRUE(stats.MarkCallback());
  EXPECT_TRUE(stats.MarkCallback());
  EXPECT_EQ(2, stats.Snapshot().overwriteCount);
  // The last row without a first row since the reset clears the frame but
  // adds no read time.
  stats.MarkLastRow();
  auto figures = stats.Snapshot();
  EXPECT_FALSE(figures.imagePending);
  EXPECT_EQ(0, figures.rowsRead.count);
  EXPECT_FALSE(stats.MarkCallback());
  stats.MarkFirstRow();
  stats.MarkLastRow();
  figures = stats.Snapshot();
  EXPECT_EQ(1, figures.callbackToFirstRow.count);
  EXPECT_EQ(1, figures.rowsRead.count);
  EXPECT_TRUE(
      std::regex_match(stats.Text(), std::regex(R"(GrabCnt:0 OvrwCnt:2 .* GetRows:1/\d+\.\d\d/\d+\.\d\d CB:1/.*)")))
      << stats.Text();
  stats.Reset();
  EXPECT_EQ(0, stats.Snapshot().overwriteCount);
}

TEST(BusStatistics, PrintsTheStartTimeWithAOneDigitYear) {
  BusStatistics bus;
  bus.Restart();
  bus.busResetCount = 3;
  bus.arrivalCount = 2;
  bus.removalCount = 1;
  std::time_t start = static_cast<std::time_t>(bus.startTime.load());
  std::tm local{};
  localtime_r(&start, &local);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "STATISTICS: startTime=%.2d/%.2d/%.2d %.2d:%.2d:%.2d, BusReset All=3 Arr=2 Rem=1", local.tm_mday,
                local.tm_mon + 1, local.tm_year % 10, local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_EQ(expected, bus.Text());
  bus.Restart();
  EXPECT_NE(std::string::npos, bus.Text().find("BusReset All=0 Arr=0 Rem=0"));
}

TEST(ImageBuffer, LaysOutRowsByColourAndWidth) {
  RowReaders readers;
  ImageBuffer colour(true, 640, 480, readers);
  EXPECT_EQ(1920u, colour.RowSize());
  EXPECT_EQ(colour.GetLine(0) + 1920, colour.GetLine(1));
  ImageBuffer mono(false, 640, 480, readers);
  EXPECT_EQ(640u, mono.RowSize());
  EXPECT_EQ(mono.GetLine(0) + 640 * 479, mono.GetLine(479));
}

TEST(ImageBuffer, RefusesRowsOutsideAndBadSizes) {
  vqtest::LogCapture log;
  RowReaders readers;
  ImageBuffer buffer(false, 4, 2, readers);
  EXPECT_EQ(nullptr, buffer.GetLine(-1));
  EXPECT_EQ(nullptr, buffer.GetLine(2));
  EXPECT_TRUE(log.Contains("ImageBuffer::GetLine: ERROR: line index out of range: -1\n"));
  EXPECT_TRUE(log.Contains("ImageBuffer::GetLine: ERROR: line index out of range: 2\n"));
  EXPECT_THROW(ImageBuffer(true, 0, 10, readers), TextException);
  EXPECT_TRUE(log.Contains("ImageBuffer::Allocate: ERROR: incorrect size 0\n"));
  // 3 x 40000 x 40000 bytes does not fit the 32-bit size: refused, not wrapped.
  EXPECT_THROW(ImageBuffer(true, 40000, 40000, readers), TextException);
  buffer.Release();
  EXPECT_EQ(nullptr, buffer.GetLine(0));
  EXPECT_TRUE(log.Contains("ImageBuffer::GetLine: ERROR: cannot proceed since it finds unallocated buffer\n"));
}

namespace {

// Row r as the host gets it, and the conversion fault reported with it.
std::vector<unsigned char> Row(ImageBuffer& buffer, int32_t r, std::unique_ptr<FlyCapture2::Error>* failure = nullptr) {
  std::vector<unsigned char> row(buffer.RowSize(), 0xEE);
  std::unique_ptr<FlyCapture2::Error> ignored;
  EXPECT_TRUE(buffer.CopyLine(r, row.data(), row.size(), failure ? failure : &ignored));
  return row;
}

FlyCapture2::Image Lent(unsigned int rows, unsigned int cols, std::vector<unsigned char>& camera,
                        const std::shared_ptr<int>& lease) {
  FlyCapture2::Image frame;
  frame.Borrow(rows, cols, cols, FlyCapture2::PIXEL_FORMAT_MONO8, FlyCapture2::NONE, camera.data(), lease);
  return frame;
}

}  // namespace

// The grab thread hands a frame over as it came; each row the host pulls is
// converted straight out of it. Rows and columns a frame does not reach keep
// the pixels of the frame before, and a frame let go leaves its pixels.
TEST(ImageBuffer, RowsComeFromTheFrameAndWhereItDoesNotReachFromTheOneBefore) {
  RowReaders readers;
  ImageBuffer buffer(true, 2, 3, readers);
  const std::vector<unsigned char> old(6, 1);
  std::memcpy(buffer.GetLine(2), old.data(), 6);
  std::vector<unsigned char> camera = {10, 20, 30, 40};  // a 2x2 grey frame in the camera's buffer
  auto lease = std::make_shared<int>(0);
  FlyCapture2::Image frame = Lent(2, 2, camera, lease);
  buffer.TakeFrame(frame);
  EXPECT_EQ(nullptr, frame.GetData()) << "the buffer held no frame before";
  EXPECT_EQ(2, lease.use_count()) << "the frame is lent, not copied";

  EXPECT_EQ(std::vector<unsigned char>({10, 10, 10, 20, 20, 20}), Row(buffer, 0));
  EXPECT_EQ(std::vector<unsigned char>({30, 30, 30, 40, 40, 40}), Row(buffer, 1));
  EXPECT_EQ(old, Row(buffer, 2)) << "beyond the frame's rows";
  std::vector<unsigned char> part(3, 0xEE);
  std::unique_ptr<FlyCapture2::Error> failure;
  ASSERT_TRUE(buffer.CopyLine(1, part.data(), 3, &failure));
  EXPECT_EQ(std::vector<unsigned char>({30, 30, 30}), part) << "a part of a row, from its start";

  // A one-pixel-wide frame of one row: the rest comes from the 2x2 frame,
  // which goes back to the camera once replaced.
  std::vector<unsigned char> narrowCamera = {5};
  auto narrowLease = std::make_shared<int>(0);
  FlyCapture2::Image narrow = Lent(1, 1, narrowCamera, narrowLease);
  buffer.TakeFrame(narrow);
  EXPECT_TRUE(narrow.Borrows()) << "the frame before comes back to the caller";
  narrow.ReturnBorrowed();
  EXPECT_EQ(1, lease.use_count());
  camera = {0, 0, 0, 0};  // the camera reuses its buffer
  EXPECT_EQ(std::vector<unsigned char>({5, 5, 5, 20, 20, 20}), Row(buffer, 0));
  EXPECT_EQ(std::vector<unsigned char>({30, 30, 30, 40, 40, 40}), Row(buffer, 1));
  EXPECT_EQ(old, Row(buffer, 2));

  // Letting go of the frame keeps its pixels.
  buffer.DropFrame();
  EXPECT_EQ(1, narrowLease.use_count());
  EXPECT_EQ(std::vector<unsigned char>({5, 5, 5, 20, 20, 20}), Row(buffer, 0));
  std::vector<unsigned char> row(6);
  EXPECT_FALSE(buffer.CopyLine(3, row.data(), 6, &failure));
  EXPECT_FALSE(buffer.CopyLine(-1, row.data(), 6, &failure));
}

// A host thread inside a row of the frame shown when the grab thread replaces
// it: the frame goes back to the camera only once the reader has left, while
// readers that come later find the new frame at once.
TEST(ImageBuffer, AReplacedFrameGoesBackToTheCameraOnlyOnceItsReaderHasLeft) {
  RowReaders readers;
  ImageBuffer buffer(false, 2, 1, readers);
  std::vector<unsigned char> cameraA = {1, 2}, cameraB = {3, 4};
  auto leaseA = std::make_shared<int>(0), leaseB = std::make_shared<int>(0);
  FlyCapture2::Image a = Lent(1, 2, cameraA, leaseA);
  buffer.TakeFrame(a);

  // A reader in the middle of a row of A, on a host thread of its own.
  std::promise<void> entered, done;
  std::thread reader([&] {
    const RowReaders::Pass pass = readers.Enter();
    entered.set_value();
    done.get_future().wait();
    readers.Leave(pass);
  });
  entered.get_future().wait();
  std::thread grab([&] {
    FlyCapture2::Image b = Lent(1, 2, cameraB, leaseB);
    buffer.TakeFrame(b);
    b.ReturnBorrowed();  // as the grab thread does with the frame handed back
  });
  ASSERT_TRUE(vqtest::WaitFor([&] {
    const RowReaders::Pass pass = readers.Enter();
    const std::vector<unsigned char> row = Row(buffer, 0);
    readers.Leave(pass);
    return row == cameraB;
  })) << "a later reader finds the new frame";
  EXPECT_FALSE(vqtest::WaitFor([&] { return leaseA.use_count() == 1; }, std::chrono::milliseconds(300)))
      << "frame A went back to the camera under its reader";
  done.set_value();
  reader.join();
  grab.join();
  EXPECT_EQ(1, leaseA.use_count());
  EXPECT_EQ(2, leaseB.use_count());
}

// A host thread that reads a row from its own thread-exit destructor, after
// the thread has given its reader's slot back, is counted all the same: the
// bus thread must not free the buffer under it.
TEST(RowReaders, ARowReadAsTheThreadEndsIsCounted) {
  struct ExitingReader {
    RowReaders readers;
    std::promise<void> entered, release;
  } exiting;
  pthread_key_t hostKey;
  ASSERT_EQ(0, pthread_key_create(&hostKey, [](void* data) {
              auto* reader = static_cast<ExitingReader*>(data);
              const RowReaders::Pass pass = reader->readers.Enter();
              reader->entered.set_value();
              reader->release.get_future().wait_for(std::chrono::seconds(30));
              reader->readers.Leave(pass);
            }));
  std::thread host([&] {
    exiting.readers.Leave(exiting.readers.Enter());  // the thread's first row
    pthread_setspecific(hostKey, &exiting);
  });
  ASSERT_EQ(std::future_status::ready, exiting.entered.get_future().wait_for(std::chrono::seconds(30)));
  EXPECT_FALSE(exiting.readers.WaitForNone(std::chrono::milliseconds(100)));
  exiting.release.set_value();
  host.join();
  pthread_key_delete(hostKey);
  EXPECT_TRUE(exiting.readers.WaitForNone(std::chrono::seconds(5)));
}

// A monochrome camera's rows hold one byte per pixel whatever its frames'
// format: 16-bit samples keep their high byte.
TEST(ImageBuffer, AMonochromeBufferTakesSixteenBitFramesAsGrey) {
  RowReaders readers;
  ImageBuffer buffer(false, 3, 2, readers);
  EXPECT_EQ(FlyCapture2::PIXEL_FORMAT_MONO8, buffer.RowFormat());
  FlyCapture2::Image frame(1, 3, 6, FlyCapture2::PIXEL_FORMAT_MONO16);
  const unsigned char samples[6] = {0x01, 0x80, 0xFF, 0x10, 0x00, 0xFE};
  std::memcpy(frame.GetData(), samples, 6);
  buffer.TakeFrame(frame);
  const std::vector<unsigned char> grey = {0x80, 0x10, 0xFE};
  EXPECT_EQ(grey, Row(buffer, 0));

  // A frame that cannot be converted shows the pixels before and says so once.
  FlyCapture2::Image raw(2, 3, 3, FlyCapture2::PIXEL_FORMAT_RAW8);  // no Bayer tile
  buffer.TakeFrame(raw);
  std::unique_ptr<FlyCapture2::Error> failure;
  EXPECT_EQ(grey, Row(buffer, 0, &failure));
  ASSERT_TRUE(failure);
  EXPECT_EQ(FlyCapture2::PGRERROR_IMAGE_CONVERSION_FAILED, failure->GetType());
  std::unique_ptr<FlyCapture2::Error> again;
  Row(buffer, 0, &again);
  Row(buffer, 1, &again);
  EXPECT_FALSE(again) << "once per frame";
}
