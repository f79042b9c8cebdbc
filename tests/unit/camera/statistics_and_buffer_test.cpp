#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
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
  EXPECT_TRUE(std::regex_match(stats.Text(), std::regex(R"(GrabCnt:0 OvrwCnt:2 .* GetRows:1/\d+\.\d\d/\d+\.\d\d CB:1/.*)")))
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
  std::snprintf(expected, sizeof expected, "STATISTICS: startTime=%.2d/%.2d/%.2d %.2d:%.2d:%.2d, BusReset All=3 Arr=2 Rem=1",
                local.tm_mday, local.tm_mon + 1, local.tm_year % 10, local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_EQ(expected, bus.Text());
  bus.Restart();
  EXPECT_NE(std::string::npos, bus.Text().find("BusReset All=0 Arr=0 Rem=0"));
}

TEST(ImageBuffer, LaysOutRowsByColourAndWidth) {
  ImageBuffer colour(true, 640, 480);
  EXPECT_EQ(640 * 480 * 3, colour.AllocatedSize());
  EXPECT_EQ(colour.GetLine(0) + 1920, colour.GetLine(1));
  ImageBuffer mono(false, 640, 480);
  EXPECT_EQ(640 * 480, mono.AllocatedSize());
  EXPECT_EQ(mono.GetLine(0) + 640 * 479, mono.GetLine(479));
}

TEST(ImageBuffer, RefusesRowsOutsideAndBadSizes) {
  vqtest::LogCapture log;
  ImageBuffer buffer(false, 4, 2);
  EXPECT_EQ(nullptr, buffer.GetLine(-1));
  EXPECT_EQ(nullptr, buffer.GetLine(2));
  EXPECT_TRUE(log.Contains("ImageBuffer::GetLine: ERROR: line index out of range: -1\n"));
  EXPECT_TRUE(log.Contains("ImageBuffer::GetLine: ERROR: line index out of range: 2\n"));
  EXPECT_THROW(ImageBuffer(true, 0, 10), TextException);
  EXPECT_TRUE(log.Contains("ImageBuffer::Allocate: ERROR: incorrect size 0\n"));
  // 3 x 40000 x 40000 bytes does not fit the 32-bit size: refused, not wrapped.
  EXPECT_THROW(ImageBuffer(true, 40000, 40000), TextException);
}

TEST(ImageBuffer, CopiesRowsWithinTheRowOnly) {
  vqtest::LogCapture log;
  ImageBuffer buffer(false, 4, 2);
  const unsigned char a[] = {1, 2, 3, 4, 5, 6, 7, 8};
  buffer.CopyNewLine(0, a, 4);
  buffer.CopyNewLine(1, a + 4, 8);  // longer than the row: cut to it
  EXPECT_EQ(0, std::memcmp(buffer.GetLine(0), a, 8));
  buffer.CopyNewLine(1, nullptr, 4);
  buffer.CopyNewLine(5, a, 4);
  EXPECT_TRUE(log.Contains("ImageBuffer::CopyNewLine: ERROR: src data incorrect\n"));
  EXPECT_TRUE(log.Contains("ImageBuffer::CopyNewLine: ERROR: line index out of range: 5\n"));
  buffer.Release();
  EXPECT_EQ(nullptr, buffer.GetLine(0));
  EXPECT_TRUE(log.Contains("ImageBuffer::GetLine: ERROR: cannot proceed since it finds unallocated buffer\n"));
}

// The grab thread hands a frame over as it came; each row is converted when
// the host first reads it, once per frame, and rows the frame does not reach
// keep what they held.
TEST(ImageBuffer, ConvertsEachRowOfATakenFrameOnItsFirstRead) {
  ImageBuffer buffer(true, 2, 3);
  const unsigned char old[6] = {1, 1, 1, 1, 1, 1};
  buffer.CopyNewLine(2, old, 6);
  std::vector<unsigned char> camera = {10, 20, 30, 40};  // a 2x2 grey frame in the camera's buffer
  auto lease = std::make_shared<int>(0);
  FlyCapture2::Image frame;
  frame.Borrow(2, 2, 2, FlyCapture2::PIXEL_FORMAT_MONO8, FlyCapture2::NONE, camera.data(), lease);
  buffer.TakeFrame(frame);
  EXPECT_EQ(nullptr, frame.GetData()) << "the buffer held no frame before";

  const unsigned char row0[6] = {10, 10, 10, 20, 20, 20};
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(0), row0, 6));
  camera = {50, 60, 70, 80};  // rows not yet read show the frame as it is now
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(0), row0, 6)) << "a row is converted once per frame";
  const unsigned char row1[6] = {70, 70, 70, 80, 80, 80};
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(1), row1, 6));
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(2), old, 6)) << "beyond the frame's rows";

  // A frame wider than the buffer is cut to it; the next frame's rows are read anew.
  FlyCapture2::Image wide(1, 3, 3, FlyCapture2::PIXEL_FORMAT_MONO8);
  const unsigned char wideRow[3] = {5, 6, 7};
  std::memcpy(wide.GetData(), wideRow, 3);
  buffer.TakeFrame(wide);
  EXPECT_TRUE(wide.Borrows()) << "the frame before comes back to the caller";
  wide.ReturnBorrowed();
  EXPECT_EQ(1, lease.use_count());
  const unsigned char cut[6] = {5, 5, 5, 6, 6, 6};
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(0), cut, 6));
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(1), row1, 6));

  // Dropping the frame keeps what was read.
  buffer.DropFrame();
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(0), cut, 6));
  EXPECT_EQ(nullptr, buffer.ReadLine(3));
}

// A monochrome camera's rows hold one byte per pixel whatever its frames'
// format: 16-bit samples keep their high byte.
TEST(ImageBuffer, AMonochromeBufferTakesSixteenBitFramesAsGrey) {
  ImageBuffer buffer(false, 3, 2);
  EXPECT_EQ(FlyCapture2::PIXEL_FORMAT_MONO8, buffer.RowFormat());
  FlyCapture2::Image frame(1, 3, 6, FlyCapture2::PIXEL_FORMAT_MONO16);
  const unsigned char samples[6] = {0x01, 0x80, 0xFF, 0x10, 0x00, 0xFE};
  std::memcpy(frame.GetData(), samples, 6);
  buffer.TakeFrame(frame);
  const unsigned char grey[3] = {0x80, 0x10, 0xFE};
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(0), grey, 3));

  // A frame that cannot be converted leaves the rows alone and says so once.
  vqtest::LogCapture log;
  FlyCapture2::Image raw(2, 3, 3, FlyCapture2::PIXEL_FORMAT_RAW8);  // no Bayer tile
  buffer.TakeFrame(raw);
  EXPECT_EQ(0, std::memcmp(buffer.ReadLine(0), grey, 3));
  buffer.ReadLine(0);
  buffer.ReadLine(1);
  const std::vector<std::string> lines = log.Messages();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(0u, lines[0].rfind("ImageBuffer::ReadLine: ERROR: row 0 not converted: FlyCapture API Error ", 0));
}
