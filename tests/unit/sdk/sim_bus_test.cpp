// Enumeration, identity, connections and faults of the simulated bus, driven
// through the SDK classes.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "sim_test_support.h"

namespace simtest {
namespace {

using SimBusTest = SimTest;

CameraInfo InfoOf(unsigned int serial) {
  Camera camera;
  EXPECT_TRUE(Ok(ConnectBySerial(camera, serial)));
  CameraInfo info;
  EXPECT_TRUE(Ok(camera.GetCameraInfo(&info)));
  return info;
}

TEST_F(SimBusTest, DefaultFleetIsOneColourAndOneMonochromeCamera) {
  BusManager bus;
  unsigned int count = 0;
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  ASSERT_EQ(count, 2u);

  PGRGuid first, second;
  ASSERT_TRUE(Ok(bus.GetCameraFromIndex(0, &first)));
  ASSERT_TRUE(Ok(bus.GetCameraFromIndex(1, &second)));
  Camera colour, mono;
  ASSERT_TRUE(Ok(colour.Connect(&first)));
  ASSERT_TRUE(Ok(mono.Connect(&second)));
  CameraInfo info;
  ASSERT_TRUE(Ok(colour.GetCameraInfo(&info)));
  EXPECT_EQ(info.serialNumber, 10001001u);
  EXPECT_TRUE(info.isColorCamera);
  EXPECT_STREQ(info.modelName, "Vorquell VQ-1394C");
  EXPECT_STREQ(info.vendorName, "Vorquell");
  EXPECT_STREQ(info.sensorResolution, "1280x960");
  ASSERT_TRUE(Ok(mono.GetCameraInfo(&info)));
  EXPECT_EQ(info.serialNumber, 10001002u);
  EXPECT_FALSE(info.isColorCamera);
  EXPECT_STREQ(info.modelName, "Vorquell VQ-1394M");
}

TEST_F(SimBusTest, GuidComesFromTheSerialNumberAndSurvivesAbsence) {
  BusManager bus;
  PGRGuid byIndex, bySerial;
  ASSERT_TRUE(Ok(bus.GetCameraFromIndex(1, &byIndex)));
  ASSERT_TRUE(Ok(bus.GetCameraFromSerialNumber(kMono, &bySerial)));
  EXPECT_TRUE(byIndex == bySerial);

  vq::sim::RemoveCamera(kMono);
  Camera camera;
  EXPECT_EQ(camera.Connect(&bySerial).GetType(), PGRERROR_NOT_FOUND);
  vq::sim::ReattachCamera(kMono);
  EXPECT_TRUE(Ok(camera.Connect(&bySerial)));
}

TEST_F(SimBusTest, LookupsOfMissingCamerasFailWithClearErrors) {
  BusManager bus;
  PGRGuid guid;
  Error error = bus.GetCameraFromIndex(2, &guid);
  EXPECT_EQ(error.GetType(), PGRERROR_INVALID_PARAMETER);
  EXPECT_STREQ(error.GetDescription(), "Camera index 2 is out of range (2 cameras on the bus).");

  error = bus.GetCameraFromSerialNumber(4242, &guid);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_FOUND);
  EXPECT_STREQ(error.GetDescription(), "No camera with serial number 4242 is on the bus.");

  PGRGuid foreign;
  foreign.value[0] = kColor;
  foreign.value[1] = 7;
  Camera camera;
  EXPECT_EQ(camera.Connect(&foreign).GetType(), PGRERROR_NOT_FOUND);
  EXPECT_FALSE(camera.IsConnected());
}

TEST_F(SimBusTest, ConnectionsAreCountedAndReleased) {
  {
    Camera first, second;
    ASSERT_TRUE(Ok(ConnectBySerial(first, kColor)));
    ASSERT_TRUE(Ok(ConnectBySerial(second, kColor)));
    EXPECT_EQ(vq::sim::Connections(kColor), 2);
    EXPECT_TRUE(Ok(first.Disconnect()));
    EXPECT_EQ(vq::sim::Connections(kColor), 1);
  }
  EXPECT_EQ(vq::sim::Connections(kColor), 0);
}

TEST_F(SimBusTest, CountFaultFailsTheCountQueryUntilCleared) {
  BusManager bus;
  unsigned int count = 99;
  vq::sim::SetCountFault(true);
  Error error = bus.GetNumOfCameras(&count);
  EXPECT_EQ(error.GetType(), PGRERROR_FAILED);
  EXPECT_STREQ(error.GetDescription(), "Simulated fault: the camera count could not be read.");
  EXPECT_EQ(count, 99u);
  vq::sim::SetCountFault(false);
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 2u);
}

TEST_F(SimBusTest, ConnectFaultRefusesTheConnection) {
  vq::sim::SetFaults(kColor, {.connect = true});
  Camera camera;
  Error error = ConnectBySerial(camera, kColor);
  EXPECT_EQ(error.GetType(), PGRERROR_FAILED);
  EXPECT_STREQ(error.GetDescription(), "Simulated fault: connecting to camera 10001001 failed.");
  EXPECT_FALSE(camera.IsConnected());
  // The other camera is not affected.
  Camera other;
  EXPECT_TRUE(Ok(ConnectBySerial(other, kMono)));
}

TEST_F(SimBusTest, CameraInfoFaultFailsOnlyTheInfo) {
  vq::sim::SetFaults(kMono, {.cameraInfo = true});
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, kMono)));
  CameraInfo info;
  Error error = camera.GetCameraInfo(&info);
  EXPECT_EQ(error.GetType(), PGRERROR_READ_REGISTER_FAILED);
  EXPECT_STREQ(error.GetDescription(), "Simulated fault: reading the camera information failed.");
  vq::sim::SetFaults(kMono, {});
  EXPECT_TRUE(Ok(camera.GetCameraInfo(&info)));
}

TEST_F(SimBusTest, RemovedCameraLeavesTheBusAndItsConnectionsFailUntilItReturns) {
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, kColor)));
  vq::sim::RemoveCamera(kColor);

  BusManager bus;
  unsigned int count = 0;
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 1u);
  PGRGuid guid;
  ASSERT_TRUE(Ok(bus.GetCameraFromIndex(0, &guid)));
  EXPECT_EQ(guid.value[0], kMono);
  EXPECT_FALSE(vq::sim::IsOnBus(kColor));

  CameraInfo info;
  Error error = camera.GetCameraInfo(&info);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_CONNECTED);
  EXPECT_STREQ(error.GetDescription(), "Camera 10001001 has been removed from the bus.");
  VideoMode mode;
  FrameRate rate;
  EXPECT_EQ(camera.GetVideoModeAndFrameRate(&mode, &rate).GetType(), PGRERROR_NOT_CONNECTED);
  unsigned int direction;
  EXPECT_EQ(camera.GetGPIOPinDirection(0, &direction).GetType(), PGRERROR_NOT_CONNECTED);

  vq::sim::ReattachCamera(kColor);
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 2u);
  ASSERT_TRUE(Ok(bus.GetCameraFromIndex(0, &guid)));
  EXPECT_EQ(guid.value[0], kColor) << "a returning camera keeps its place in the enumeration";
  EXPECT_TRUE(Ok(camera.GetCameraInfo(&info)));
}

TEST_F(SimBusTest, AddedCameraJoinsTheEndOfTheBus) {
  vq::sim::CameraConfig extra = vq::sim::DefaultMonoCamera(555);
  extra.model = "Vorquell VQ-1394M-X";
  vq::sim::AddCamera(extra);
  BusManager bus;
  unsigned int count = 0;
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  ASSERT_EQ(count, 3u);
  PGRGuid guid;
  ASSERT_TRUE(Ok(bus.GetCameraFromIndex(2, &guid)));
  Camera camera;
  ASSERT_TRUE(Ok(camera.Connect(&guid)));
  CameraInfo info;
  ASSERT_TRUE(Ok(camera.GetCameraInfo(&info)));
  EXPECT_EQ(info.serialNumber, 555u);
  EXPECT_STREQ(info.modelName, "Vorquell VQ-1394M-X");
}

TEST_F(SimBusTest, ControlMisuseThrowsAndChangesNothing) {
  EXPECT_THROW(vq::sim::AddCamera(vq::sim::DefaultColorCamera(kMono)), std::invalid_argument);
  EXPECT_THROW(vq::sim::AddCamera(vq::sim::DefaultColorCamera(0)), std::invalid_argument);
  EXPECT_THROW(vq::sim::RemoveCamera(4242), std::invalid_argument);
  EXPECT_THROW(vq::sim::ReattachCamera(kColor), std::invalid_argument);  // it never left
  vq::sim::RemoveCamera(kColor);
  EXPECT_THROW(vq::sim::RemoveCamera(kColor), std::invalid_argument);
  EXPECT_THROW(vq::sim::SetFaults(4242, {}), std::invalid_argument);
  vq::sim::FlushEvents();
  EXPECT_FALSE(vq::sim::IsOnBus(kColor));
  EXPECT_TRUE(vq::sim::IsOnBus(kMono));
}

TEST_F(SimBusTest, ReplacingTheFleetDisconnectsTheOldCameras) {
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, kColor)));
  vq::sim::LoadFleetJson(R"({"cameras": [{"model": "Solo", "serial": 7, "color": false}]})");

  CameraInfo info;
  Error error = camera.GetCameraInfo(&info);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_CONNECTED);
  EXPECT_STREQ(error.GetDescription(), "Camera 10001001 is no longer part of the simulated fleet.");
  BusManager bus;
  unsigned int count = 0;
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 1u);

  vq::sim::ResetToDefaultFleet();
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 2u);
  EXPECT_STREQ(InfoOf(kColor).modelName, "Vorquell VQ-1394C");
}

}  // namespace
}  // namespace simtest
