#include <gtest/gtest.h>

#include <cstring>
#include <regex>

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

TEST(ImageBuffer, CopiesPackedRowsInOneBlock) {
  ImageBuffer buffer(true, 2, 3);
  const unsigned char rows[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  buffer.CopyNewLines(2, rows);
  EXPECT_EQ(0, std::memcmp(buffer.GetLine(0), rows, 12));
  buffer.CopyNewLines(9, rows);  // more rows than the buffer holds: cut to it
  EXPECT_EQ(0, std::memcmp(buffer.GetLine(0), rows, 18));
}
