#include <gtest/gtest.h>

#include "bus/CameraList.h"
#include "camera/Camera.h"
#include "log/TextException.h"
#include "sdk/FlyError.h"
#include "sdk/sim/SimControl.h"
#include "tests/support/DriverFixture.h"

using namespace vq;

using vqtest::DriverFixture;

TEST(FormatFlyError, NamesTypeDescriptionFileAndLine) {
  FlyCapture2::Error error(FlyCapture2::PGRERROR_NOT_FOUND, "No camera.", "sim/SimBus.cpp", 42);
  EXPECT_EQ("FlyCapture API Error 5: No camera. (sim/SimBus.cpp 42)", FormatFlyError(error));
}

TEST(CameraList, AnEmptyBusFindsNoCamera) {
  vq::sim::LoadFleetJson(R"({"cameras": []})");
  vqtest::LogCapture log;
  CameraList& list = CameraList::GetInstance();
  EXPECT_FALSE(list.Init());
  EXPECT_TRUE(log.Contains("CameraList::Init: WARNING: no supported cameras found\n"));
  EXPECT_EQ(0, list.Count());
  const char** names = list.ConfigNames();
  EXPECT_EQ(nullptr, names[0]);
  EXPECT_EQ(nullptr, list.DummyLine());
  CameraList::DeleteInstance();
}

TEST(CameraList, ACameraTheSDKCannotDescribeIsLeftOutWithTheReason) {
  vq::sim::LoadFleetJson(vqtest::kTestFleet);
  vq::sim::SetFaults(vqtest::kMonoSerial, {.connect = false, .cameraInfo = true});
  vqtest::LogCapture log;
  CameraList& list = CameraList::GetInstance();
  EXPECT_TRUE(list.Init());
  EXPECT_EQ(1, list.Count()) << "the other cameras are listed";
  int failure = log.IndexOf("CameraList::Init: color camera found: Colour (1111)\n");
  ASSERT_NE(-1, failure);
  bool described = false;
  for (const auto& line : log.Messages())
    described |= line.rfind("CameraList::Init: ERROR: failed to get camera info: ", 0) == 0;
  EXPECT_TRUE(described);
  CameraList::DeleteInstance();
}

TEST(CameraList, TheCountQueryFailureIsLogged) {
  vq::sim::LoadFleetJson(vqtest::kTestFleet);
  vq::sim::SetCountFault(true);
  vqtest::LogCapture log;
  EXPECT_FALSE(CameraList::GetInstance().Init());
  bool logged = false;
  for (const auto& line : log.Messages())
    logged |= line.rfind("CameraList::Init: ERROR: failed to get number of cameras: ", 0) == 0;
  EXPECT_TRUE(logged);
  CameraList::DeleteInstance();
  vq::sim::SetCountFault(false);
}

TEST_F(DriverFixture, NamesAndFoundLines) {
  EXPECT_TRUE(Log().Contains("CameraList::Init: color camera found: Colour (1111)\n"));
  EXPECT_TRUE(Log().Contains("CameraList::Init: b/w camera found: Mono (2222)\n"));
  const char** names = List().ConfigNames();
  EXPECT_STREQ("Colour (1111)", names[0]);
  EXPECT_STREQ("Mono (2222)", names[1]);
  EXPECT_EQ(nullptr, names[2]);
  int colourBits = 0, monoBits = 0;
  EXPECT_TRUE(Colour().GetProperty("PixelSize", &colourBits));
  EXPECT_TRUE(Mono().GetProperty("PixelSize", &monoBits));
  EXPECT_EQ(24, colourBits);
  EXPECT_EQ(8, monoBits);
  EXPECT_EQ(-1, Colour().Port());
  EXPECT_EQ("port#-1 ser#1111 state:'Closed '", Colour().Tag());
  const unsigned char* dummy = List().DummyLine();
  ASSERT_NE(nullptr, dummy);
  for (int i = 0; i < CameraList::kDummyLineSize; ++i) ASSERT_EQ(0x78, dummy[i]);
}

TEST_F(DriverFixture, LookupsFindByNameSerialAndIndexOrThrowErr) {
  EXPECT_TRUE(List().IsCameraAvailable("Mono (2222)"));
  EXPECT_FALSE(List().IsCameraAvailable("mono (2222)"));
  EXPECT_EQ(&Mono(), &List().GetByName("Mono (2222)"));
  EXPECT_EQ(&Mono(), &List()[1]);
  EXPECT_TRUE(Log().Contains("CameraList::GetByName: leaving Mono (2222)\n"));
  try {
    List().GetByName("Nobody");
    FAIL();
  } catch (const TextException& e) {
    EXPECT_STREQ("Err", e.what());
  }
  EXPECT_TRUE(Log().Contains("CameraList::GetByName: ERROR: could not find camera Nobody\n"));
  EXPECT_THROW(List().GetBySerialNo(99), TextException);
  EXPECT_TRUE(Log().Contains("CameraList::GetBySerialNo: ERROR: could not find camera 99\n"));
  EXPECT_THROW(List()[2], TextException);
  EXPECT_THROW(List()[-1], TextException);
  EXPECT_TRUE(Log().Contains("CameraList::operator[] index out of bounds: 2\n"));
  EXPECT_TRUE(Log().Contains("CameraList::operator[] index out of bounds: -1\n"));
}

TEST_F(DriverFixture, NoPortIsBoundBeforeAnOpen) {
  for (int port = 0; port < 20; ++port) EXPECT_THROW(List().GetByPort(port), TextException);
  EXPECT_TRUE(Log().Contains("CameraList::GetByPort: ERROR: could not find camera on port 19\n"));
}

// A camera that joins the bus after enumeration joins the list and the names;
// an array of names handed out before stays as it was. Events for a serial
// number the bus does not know are logged and dropped.
TEST_F(DriverFixture, ACameraThatArrivesAfterEnumerationJoinsTheList) {
  const char** before = List().ConfigNames();
  vq::sim::AddCamera(vq::sim::DefaultColorCamera(4242));
  vq::sim::FlushEvents();
  EXPECT_TRUE(Log().Contains("BUS EVENT CALLBACK - ARRIVAL - invoked, camera serial#:4242\n"));
  EXPECT_TRUE(Log().Contains("CameraList::AddArrivedCamera: color camera found: Vorquell VQ-1394C (4242)\n"));
  ASSERT_EQ(3, List().Count());
  const char** after = List().ConfigNames();
  ASSERT_NE(before, after);
  EXPECT_STREQ("Vorquell VQ-1394C (4242)", after[2]);
  EXPECT_EQ(nullptr, after[3]);
  EXPECT_STREQ("Colour (1111)", before[0]);
  EXPECT_STREQ("Mono (2222)", before[1]);
  EXPECT_EQ(nullptr, before[2]);
  ASSERT_TRUE(Open(List().GetBySerialNo(4242), 5));
  EXPECT_EQ(&List().GetBySerialNo(4242), &List().GetByPort(5));

  vq::sim::RemoveCamera(4242);
  vq::sim::FlushEvents();
  EXPECT_FALSE(Log().Contains("CameraList::GetBySerialNo: ERROR: could not find camera 4242\n"));
  CameraList::OnBusRemoval(&List(), 31337);
  CameraList::OnBusArrival(&List(), 31337);
  EXPECT_TRUE(Log().Contains("CameraList::GetBySerialNo: ERROR: could not find camera 31337\n"));
  EXPECT_TRUE(Log().ContainsPrefix("CameraList::AddArrivedCamera: ERROR: camera 31337 not found: "));
  EXPECT_EQ(3, List().Count());
  EXPECT_TRUE(List().BusStatsText().find("BusReset All=0 Arr=2 Rem=2") != std::string::npos) << List().BusStatsText();
}

TEST_F(DriverFixture, BusResetsAreCountedAndStatisticsReset) {
  vq::sim::BusReset(vqtest::kColourSerial);
  vq::sim::FlushEvents();
  EXPECT_TRUE(Log().Contains("BUS EVENT CALLBACK invoked, camera serial#:1111\n"));
  EXPECT_NE(std::string::npos, List().BusStatsText().find("BusReset All=1 Arr=0 Rem=0"));
  Log().Clear();
  List().PrintAllStats();
  auto lines = Log().Messages();
  ASSERT_EQ(6u, lines.size());
  EXPECT_EQ(">>>ALL STATS for 2 cameras:\n", lines[0]);
  EXPECT_EQ(">>>" + List().BusStatsText() + "\n", lines[1]);
  EXPECT_EQ(">>>" + Colour().Statistics().Text() + ", port#-1 ser#1111 state:'Closed '\n", lines[2]);
  EXPECT_EQ(">>>DROPS: dropped=0 incomplete=0, port#-1 ser#1111 state:'Closed '\n", lines[3]);
  List().ResetAllStats();
  EXPECT_NE(std::string::npos, List().BusStatsText().find("BusReset All=0 Arr=0 Rem=0"));
}
