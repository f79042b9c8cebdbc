// Fleet files of the simulated bus: what they describe, and how a bad file is
// reported.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "sim_test_support.h"
#include "tests/support/OwnProcess.h"
#include "tests/support/TestSupport.h"

namespace simtest {
namespace {

class SimFleetTest : public SimTest {
 protected:
  std::string Write(const std::string& text) { return WriteFile(_dir.Path() + "/fleet.json", text); }

  // The count query's error description; empty when it succeeds.
  static std::string CountError() {
    BusManager bus;
    unsigned int count = 0;
    Error error = bus.GetNumOfCameras(&count);
    if (error == PGRERROR_OK) return "";
    EXPECT_EQ(error.GetType(), PGRERROR_CONFIG_FILE_FAILED);
    return error.GetDescription();
  }

  static unsigned int Count() {
    BusManager bus;
    unsigned int count = 0;
    EXPECT_TRUE(Ok(bus.GetNumOfCameras(&count)));
    return count;
  }

  vqtest::TempDir _dir;
};

TEST_F(SimFleetTest, FileDescribesIdentityModesFormat7AndFaults) {
  vq::sim::LoadFleetFile(Write(R"({
    "comment": "keys the simulator does not know are ignored",
    "cameras": [
      {"model": "Acme Line 9", "serial": 4000000001, "color": true, "vendor": "Acme",
       "videoModes": [{"mode": "640x480RGB", "frameRates": ["15 fps", 30]},
                      {"mode": 5, "frameRates": [1.875]}],
       "current": {"videoMode": 5, "frameRate": "1.875 fps"},
       "format7": [{"mode": 2, "maxWidth": 800, "maxHeight": 600, "offsetStep": [4, 4], "imageStep": [16, 4],
                    "pixelFormats": ["MONO8", "RAW8"], "packetSize": [8, 1024, 512], "bayer": "GBRG"}],
       "properties": [{"name": "Gain"}]},
      {"model": "Acme Mono", "serial": 12, "color": false, "faults": {"connect": true}}
    ]})"));
  ASSERT_EQ(Count(), 2u);

  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, 4000000001u)));
  CameraInfo info;
  ASSERT_TRUE(Ok(camera.GetCameraInfo(&info)));
  EXPECT_STREQ(info.modelName, "Acme Line 9");
  EXPECT_STREQ(info.vendorName, "Acme");
  EXPECT_TRUE(info.isColorCamera);

  VideoMode mode;
  FrameRate rate;
  ASSERT_TRUE(Ok(camera.GetVideoModeAndFrameRate(&mode, &rate)));
  EXPECT_EQ(mode, VIDEOMODE_640x480Y8);
  EXPECT_EQ(rate, FRAMERATE_1_875);
  bool supported = false;
  ASSERT_TRUE(Ok(camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480RGB, FRAMERATE_30, &supported)));
  EXPECT_TRUE(supported);
  ASSERT_TRUE(Ok(camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480RGB, FRAMERATE_7_5, &supported)));
  EXPECT_FALSE(supported);
  ASSERT_TRUE(Ok(camera.GetVideoModeAndFrameRateInfo(VIDEOMODE_640x480YUV422, FRAMERATE_30, &supported)));
  EXPECT_FALSE(supported) << "the file's list replaces the built-in one";

  Format7Info format7;
  format7.mode = static_cast<Mode>(2);
  ASSERT_TRUE(Ok(camera.GetFormat7Info(&format7, &supported)));
  ASSERT_TRUE(supported);
  EXPECT_EQ(format7.maxWidth, 800u);
  EXPECT_EQ(format7.offsetHStepSize, 4u);
  EXPECT_EQ(format7.imageHStepSize, 16u);
  EXPECT_EQ(format7.imageVStepSize, 4u);
  EXPECT_EQ(format7.pixelFormatBitField, unsigned{PIXEL_FORMAT_MONO8 | PIXEL_FORMAT_RAW8});
  EXPECT_EQ(format7.minPacketSize, 8u);
  EXPECT_EQ(format7.maxPacketSize, 1024u);
  EXPECT_EQ(format7.packetSize, 512u);
  format7.mode = MODE_0;
  ASSERT_TRUE(Ok(camera.GetFormat7Info(&format7, &supported)));
  EXPECT_FALSE(supported);

  Format7ImageSettings settings;
  unsigned int packetSize = 0;
  float percentage = 0;
  ASSERT_TRUE(Ok(camera.GetFormat7Configuration(&settings, &packetSize, &percentage)));
  EXPECT_EQ(settings.mode, 2);
  EXPECT_EQ(settings.width, 800u);
  EXPECT_EQ(settings.height, 600u);
  EXPECT_EQ(settings.pixelFormat, PIXEL_FORMAT_MONO8) << "the first pixel format listed";
  EXPECT_EQ(packetSize, 512u);

  Camera faulty;
  EXPECT_EQ(ConnectBySerial(faulty, 12).GetType(), PGRERROR_FAILED);
}

TEST_F(SimFleetTest, FileMayStartACameraInFormat7) {
  vq::sim::LoadFleetFile(Write(R"({"cameras": [
      {"model": "F7", "serial": 3, "color": true, "freeRunning": true,
       "current": {"videoMode": "FORMAT7",
                   "format7": {"offsetX": 16, "width": 320, "height": 240, "pixelFormat": "RAW8", "packetSize": 4}}}]})"));
  EXPECT_EQ(vq::sim::CurrentVideoMode(3), VIDEOMODE_FORMAT7);
  EXPECT_EQ(vq::sim::CurrentFrameRate(3), FRAMERATE_FORMAT7);
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, 3)));
  ASSERT_TRUE(Ok(camera.StartCapture()));
  Image image;
  ASSERT_TRUE(Ok(camera.RetrieveBuffer(&image)));
  EXPECT_EQ(image.GetCols(), 320u);
  EXPECT_EQ(image.GetRows(), 240u);
  EXPECT_EQ(image.GetPixelFormat(), PIXEL_FORMAT_RAW8);
  EXPECT_EQ(image.GetBayerTileFormat(), RGGB);
  EXPECT_EQ(vq::sim::CurrentFormat7Settings(3).offsetX, 16u);
}

TEST_F(SimFleetTest, FileFaultsApply) {
  vq::sim::LoadFleetFile(Write(R"({"cameras": [
      {"model": "Info", "serial": 1, "color": false, "faults": {"cameraInfo": true}},
      {"model": "Start", "serial": 2, "color": false, "faults": {"startCapture": true}},
      {"model": "Retrieve", "serial": 3, "color": false, "freeRunning": true, "faults": {"retrieve": 2}}]})"));
  Camera info, start, retrieve;
  ASSERT_TRUE(Ok(ConnectBySerial(info, 1)));
  ASSERT_TRUE(Ok(ConnectBySerial(start, 2)));
  ASSERT_TRUE(Ok(ConnectBySerial(retrieve, 3)));
  CameraInfo cameraInfo;
  EXPECT_EQ(info.GetCameraInfo(&cameraInfo).GetType(), PGRERROR_READ_REGISTER_FAILED);
  EXPECT_EQ(start.StartCapture().GetType(), PGRERROR_ISOCH_START_FAILED);
  ASSERT_TRUE(Ok(retrieve.StartCapture()));
  Image image;
  EXPECT_EQ(retrieve.RetrieveBuffer(&image).GetType(), PGRERROR_IMAGE_CONSUMPTION_ERROR);
  EXPECT_EQ(retrieve.RetrieveBuffer(&image).GetType(), PGRERROR_IMAGE_CONSUMPTION_ERROR);
  EXPECT_TRUE(Ok(retrieve.RetrieveBuffer(&image)));
}

TEST_F(SimFleetTest, CountFaultFromTheFile) {
  vq::sim::LoadFleetFile(Write(R"({"faults": {"count": true}, "cameras": []})"));
  BusManager bus;
  unsigned int count = 0;
  EXPECT_EQ(bus.GetNumOfCameras(&count).GetType(), PGRERROR_FAILED);
}

TEST_F(SimFleetTest, SyntaxErrorNamesFileLineAndColumn) {
  std::string path = Write("{\n  \"cameras\": [\n    {\"model\": \"A\", \"serial\": 5 \"color\": true}\n  ]\n}\n");
  vq::sim::LoadFleetFile(path);
  std::string error = CountError();
  // The column is that of the last character of the offending token.
  EXPECT_EQ(error, "Simulated fleet file '" + path +
                       "': line 3, column 38: syntax error while parsing object - unexpected string literal; "
                       "expected '}'");
  EXPECT_EQ(CountError(), error) << "every later count query fails the same way";
  BusManager bus;
  PGRGuid guid;
  EXPECT_EQ(bus.GetCameraFromIndex(0, &guid).GetType(), PGRERROR_INVALID_PARAMETER) << "the bus is empty";
  EXPECT_EQ(bus.GetCameraFromSerialNumber(kColor, &guid).GetType(), PGRERROR_NOT_FOUND);
}

TEST_F(SimFleetTest, MissingOrUnreadableFileIsReported) {
  std::string missing = _dir.Path() + "/absent.json";
  vq::sim::LoadFleetFile(missing);
  EXPECT_EQ(CountError(), "Simulated fleet file '" + missing + "': cannot open: No such file or directory");
  vq::sim::LoadFleetFile(_dir.Path());
  EXPECT_EQ(CountError(), "Simulated fleet file '" + _dir.Path() + "': cannot read: Is a directory");
}

struct BadFleet {
  const char* json;
  const char* problem;
};

TEST_F(SimFleetTest, WrongContentIsReportedWithItsKeyPath) {
  const BadFleet cases[] = {
      {"[]", "the top level must be an object, got array"},
      {"{}", "missing required key 'cameras'"},
      {R"({"cameras": {}})", "cameras: expected an array, got object"},
      {R"({"cameras": [7]})", "cameras[0]: expected an object, got number"},
      {R"({"cameras": [{"model": "A", "serial": "5", "color": true}]})",
       "cameras[0].serial: expected an unsigned 32-bit integer, got string"},
      {R"({"cameras": [{"model": "A", "serial": -1, "color": true}]})",
       "cameras[0].serial: -1 is not an unsigned 32-bit integer"},
      {R"({"cameras": [{"model": "A", "serial": 4294967296, "color": true}]})",
       "cameras[0].serial: 4294967296 is not an unsigned 32-bit integer"},
      {R"({"cameras": [{"model": "A", "serial": 0, "color": true}]})",
       "cameras[0].serial: the serial number must not be 0"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": "yes"}]})",
       "cameras[0].color: expected true or false, got string"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": true}, {"model": "B", "serial": 6}]})",
       "cameras[1]: missing required key 'color'"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": true}, {"model": "B", "serial": 5, "color": false}]})",
       "cameras[1].serial: serial number 5 is used twice"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": true,
                        "videoModes": [{"mode": "640x480Y9", "frameRates": [30]}]}]})",
       "cameras[0].videoModes[0].mode: unknown video mode \"640x480Y9\""},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": true,
                        "videoModes": [{"mode": "640x480Y8", "frameRates": [30, 25]}]}]})",
       "cameras[0].videoModes[0].frameRates[1]: unknown frame rate 25"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": false,
                        "current": {"videoMode": "640x480Y8", "frameRate": "7.5 fps"}}]})",
       "cameras[0]: the current mode 640x480Y8 at 7.5 fps is not one of the camera's video modes"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": false,
                        "format7": [{"mode": 0, "maxWidth": 640, "maxHeight": 480, "pixelFormats": ["RAW16"]}]}]})",
       "cameras[0].format7[0].pixelFormats[0]: pixel format RAW16 is not simulated"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": false,
                        "format7": [{"mode": 0, "maxWidth": 640, "maxHeight": 480, "pixelFormats": ["MONO8"],
                                     "packetSize": [8, 4, 16]}]}]})",
       "cameras[0]: Format7 mode 0: packet sizes must satisfy 0 < min <= default <= max (got min 8, default 16, max 4)"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": false,
                        "format7": [{"mode": 0, "maxWidth": 640, "maxHeight": 480, "pixelFormats": ["MONO8"],
                                     "offsetStep": [1]}]}]})",
       "cameras[0].format7[0].offsetStep: expected an array of 2 unsigned integers, got [1]"},
      {R"({"cameras": [{"model": "A", "serial": 5, "color": false, "faults": {"retrieve": "2"}}]})",
       "cameras[0].faults.retrieve: expected an unsigned 32-bit integer, got string"},
  };
  for (const BadFleet& c : cases) {
    SCOPED_TRACE(c.json);
    std::string path = Write(c.json);
    vq::sim::LoadFleetFile(path);
    EXPECT_EQ(CountError(), "Simulated fleet file '" + path + "': " + c.problem);
  }
}

// A number beyond the double range is refused by the JSON reader itself,
// before any key is looked at, so it counts in keys the fleet ignores too.
class SimFleetOverflow : public SimFleetTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(SimFleetOverflow, IsReportedAsAFleetProblem) {
  const std::string json = R"({"cameras": [{"model": "A", "serial": 5, "color": true, )" + GetParam() + "}]}";
  const std::string path = Write(json);
  vq::sim::LoadFleetFile(path);
  EXPECT_EQ(CountError(), "Simulated fleet file '" + path + "': number overflow parsing '1e400'");
  try {
    vq::sim::LoadFleetJson(json);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "vq::sim: fleet description: number overflow parsing '1e400'");
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, SimFleetOverflow,
                         ::testing::Values(R"("ignored": 1e400)", R"("note": [0, {"x": 1e400}])",
                                           R"("faults": {"retrieve": 1e400})"));

TEST_F(SimFleetTest, FileDescribesPropertiesTriggerStrobesAndGpio) {
  vq::sim::LoadFleetFile(Write(R"({"cameras": [{"model": "Features", "serial": 20, "color": false,
      "properties": {
        "Gain": {"max": 960, "value": 10, "onOff": true, "on": false},
        "Pan": {"min": 10, "max": 20, "value": 20, "auto": true, "absolute": true, "absMin": -45, "absMax": 45,
                "units": "degrees", "unitAbbr": "deg"},
        "Shutter": {"present": false},
        "WhiteBalance": {"min": 0, "max": 1023, "valueB": 700}},
      "trigger": {"modes": [0, 15], "sources": ["GPIO3", 1], "polarity": true, "periodMs": 40,
                  "current": {"on": true, "mode": 15, "source": 3, "polarity": 1, "parameter": 7}},
      "strobes": [{"pin": 2, "min": 0.5, "max": 2, "polarity": true, "current": {"on": true, "delay": 1}}],
      "gpio": ["out", 0, "in", 1]}]})"));
  ASSERT_EQ(CountError(), "");
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, 20)));
  PropertyInfo info;
  info.type = GAIN;
  ASSERT_TRUE(Ok(camera.GetPropertyInfo(&info)));
  EXPECT_EQ(info.max, 960u);
  EXPECT_EQ(info.absMax, 24.0f) << "the rest of the built-in Gain stays";
  EXPECT_TRUE(info.onOffSupported && info.autoSupported);
  Property gain = vq::sim::GetPropertyState(20, GAIN);
  EXPECT_EQ(gain.valueA, 10u);
  EXPECT_FALSE(gain.onOff);

  info.type = PAN;
  ASSERT_TRUE(Ok(camera.GetPropertyInfo(&info)));
  EXPECT_TRUE(info.present && info.autoSupported && info.absValSupported && info.manualSupported);
  EXPECT_FALSE(info.onOffSupported);
  EXPECT_EQ(info.absMin, -45.0f);
  EXPECT_STREQ(info.pUnitAbbr, "deg");
  EXPECT_EQ(vq::sim::GetPropertyState(20, PAN).absValue, 45.0f);
  EXPECT_EQ(vq::sim::GetPropertyState(20, WHITE_BALANCE).valueB, 700u);
  for (PropertyType absent : {SHUTTER, BRIGHTNESS}) {
    info.type = absent;
    ASSERT_TRUE(Ok(camera.GetPropertyInfo(&info)));
    EXPECT_FALSE(info.present) << "a property left out of the list is absent: " << absent;
  }

  TriggerModeInfo trigger;
  ASSERT_TRUE(Ok(camera.GetTriggerModeInfo(&trigger)));
  EXPECT_EQ(trigger.modeMask, 0x8001u);
  EXPECT_EQ(trigger.sourceMask, 0x0Au);
  EXPECT_TRUE(trigger.polaritySupported);
  TriggerMode mode = vq::sim::GetTriggerState(20);
  EXPECT_TRUE(mode.onOff);
  EXPECT_EQ(mode.mode, 15u);
  EXPECT_EQ(mode.polarity, 1u);
  EXPECT_EQ(mode.parameter, 7u);

  StrobeInfo strobe;
  ASSERT_TRUE(Ok(camera.GetStrobeInfo(&strobe)));
  EXPECT_FALSE(strobe.present) << "pin 0 is not listed";
  strobe.source = 2;
  ASSERT_TRUE(Ok(camera.GetStrobeInfo(&strobe)));
  EXPECT_TRUE(strobe.present && strobe.polaritySupported);
  EXPECT_EQ(strobe.minValue, 0.5f);
  StrobeControl control = vq::sim::GetStrobeState(20, 2);
  EXPECT_TRUE(control.onOff);
  EXPECT_EQ(control.delay, 1.0f);
  EXPECT_EQ(control.duration, 0.5f) << "left out: the minimum";
  EXPECT_EQ(vq::sim::GetGPIODirection(20, 0), 1u);
  EXPECT_EQ(vq::sim::GetGPIODirection(20, 3), 1u);
  EXPECT_EQ(vq::sim::GetGPIODirection(20, 1), 0u);
}

TEST_F(SimFleetTest, CamerasWithoutFeatureSectionsGetTheBuiltInFeaturesOfTheirColour) {
  vq::sim::LoadFleetFile(Write(R"({"cameras": [
      {"model": "Old", "serial": 21, "color": true},
      {"model": "Listed", "serial": 22, "color": true, "properties": [{"name": "Gain"}, {"name": "Hue", "value": 5}]}]})"));
  Camera old, listed;
  ASSERT_TRUE(Ok(ConnectBySerial(old, 21)));
  ASSERT_TRUE(Ok(ConnectBySerial(listed, 22)));
  const vq::sim::FeatureConfig builtin = vq::sim::DefaultColorCamera().features;
  for (int type = BRIGHTNESS; type <= TEMPERATURE; ++type) {
    PropertyInfo info;
    info.type = static_cast<PropertyType>(type);
    ASSERT_TRUE(Ok(old.GetPropertyInfo(&info)));
    EXPECT_EQ(info.present, builtin.properties[type].info.present) << type;
    ASSERT_TRUE(Ok(listed.GetPropertyInfo(&info)));
    EXPECT_EQ(info.present, type == GAIN || type == HUE) << type;
  }
  EXPECT_EQ(vq::sim::GetPropertyState(22, HUE).valueA, 5u);
  TriggerModeInfo trigger;
  ASSERT_TRUE(Ok(old.GetTriggerModeInfo(&trigger)));
  EXPECT_EQ(trigger.modeMask, builtin.trigger.info.modeMask);
  StrobeInfo strobe;
  strobe.source = 1;
  ASSERT_TRUE(Ok(old.GetStrobeInfo(&strobe)));
  EXPECT_TRUE(strobe.present);
  EXPECT_EQ(vq::sim::GetGPIODirection(21, 1), 1u);
}

TEST_F(SimFleetTest, WrongFeatureContentIsReportedWithItsKeyPath) {
  const std::string camera = R"({"cameras": [{"model": "A", "serial": 5, "color": false, )";
  const BadFleet cases[] = {
      {R"("properties": {"Focus2": {}}}]})", R"(cameras[0].properties.Focus2: unknown property "Focus2")"},
      {R"("properties": {"Pan": {"max": 5}}}]})", "cameras[0].properties.Pan: missing required key 'min'"},
      {R"("properties": {"Gain": {"value": 999}}}]})", "cameras[0]: Gain: value 999 is outside 0 to 480"},
      {R"("properties": {"Gain": {"valueB": 3}}}]})",
       "cameras[0].properties.Gain.valueB: only WhiteBalance has a value B"},
      {R"("properties": [{"name": "Gain"}, {"name": "Gain"}]}]})",
       "cameras[0].properties[1].name: property Gain is listed twice"},
      {R"("properties": {"Gain": {"auto": false, "autoMode": true}}}]})",
       "cameras[0]: Gain: starts in automatic mode without supporting it"},
      {R"("trigger": {"modes": [16]}}]})", "cameras[0].trigger.modes[0]: trigger mode 16 is outside 0 to 15"},
      {R"("trigger": {"current": {"mode": 2}}}]})",
       "cameras[0]: the trigger starts in mode 2, which it does not support"},
      {R"("trigger": {"sources": ["GPIO7"]}}]})", R"(cameras[0].trigger.sources[0]: unknown trigger source "GPIO7")"},
      {R"("strobes": [{"pin": 4}]}]})", "cameras[0].strobes[0].pin: strobe pin 4 is outside 0 to 3"},
      {R"("strobes": [{"pin": 3}]}]})", "cameras[0].strobes[0]: missing required key 'min'"},
      {R"("strobes": [{"pin": 0, "current": {"delay": 9}}]}]})", "cameras[0]: strobe 0: delay 9 is outside 0 to 4"},
      {R"("gpio": ["sideways"]}]})",
       R"(cameras[0].gpio[0]: unknown GPIO direction "sideways"; expected "in" or "out")"},
      {R"("gpio": [0, 0, 0, 0, 0]}]})", "cameras[0].gpio: the camera has 4 GPIO pins, 5 are given"},
      {R"("faults": {"getTriggerMode": [1]}}]})",
       "cameras[0].faults.getTriggerMode: expected true or false, got array"},
      {R"("faults": {"getStrobe": [4]}}]})", "cameras[0].faults.getStrobe[0]: 4 is outside 0 to 3"},
      {R"("faults": {"getProperty": ["Zoom", "Bogus"]}}]})",
       R"(cameras[0].faults.getProperty[1]: unknown property "Bogus")"},
  };
  for (const BadFleet& c : cases) {
    SCOPED_TRACE(c.json);
    std::string path = Write(camera + c.json);
    vq::sim::LoadFleetFile(path);
    EXPECT_EQ(CountError(), "Simulated fleet file '" + path + "': " + c.problem);
  }
}

TEST_F(SimFleetTest, BadDescriptionGivenDirectlyThrowsAndKeepsTheFleet) {
  try {
    vq::sim::LoadFleetJson(R"({"cameras": [{"serial": 5, "color": true}]})");
    FAIL() << "no exception";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "vq::sim: fleet description: cameras[0]: missing required key 'model'");
  }
  EXPECT_EQ(Count(), 2u);
}

// The built-in fleet is read without starting points, so what it leaves out
// its cameras lack; a document the module cannot use names its problem.
TEST(SimBuiltInFleet, StartsCamerasFromNothingAndNamesItsProblems) {
  const std::string mono =
      R"({"model": "M", "serial": 2, "color": false, "videoModes": [{"mode": "640x480Y8", "frameRates": [30]}]})";
  const std::string colour =
      R"({"model": "C", "serial": 1, "color": true, "videoModes": [{"mode": "640x480RGB", "frameRates": [15]}]})";
  const std::string document = R"({"cameras": [)" + colour + ", " + mono + "]}";
  const vq::sim::CameraConfig bare = vq::sim::FleetParser::ParseBuiltIn(document).cameras.at(0);
  const vq::sim::CameraConfig fromFile = vq::sim::FleetParser::Parse(document).cameras.at(0);
  EXPECT_TRUE(bare.color);
  EXPECT_TRUE(bare.format7.empty());
  EXPECT_FALSE(bare.features.properties[BRIGHTNESS].info.present);
  EXPECT_FALSE(bare.features.trigger.info.present);
  EXPECT_FALSE(bare.features.strobes[0].info.present);
  EXPECT_EQ(bare.features.gpioDirections[1], 0u);
  EXPECT_FALSE(fromFile.format7.empty()) << "a fleet file starts from the built-in camera of its colour";
  EXPECT_TRUE(fromFile.features.properties[BRIGHTNESS].info.present);
  EXPECT_EQ(fromFile.features.gpioDirections[1], 1u);

  const std::pair<std::string, std::string> cases[] = {
      {R"({"cameras": [)",
       "line 1, column 14: syntax error while parsing value - unexpected end of input; "
       "expected '[', '{', or a literal"},
      {R"({"cameras": [{"model": "C", "serial": 1, "color": true}, )" + mono + "]}",
       "cameras[0]: the camera has neither a video mode nor a Format7 mode"},
      {"{\"cameras\": [" + mono + "]}", "cameras: there is no colour camera"},
      {"{\"cameras\": [" + colour + "]}", "cameras: there is no monochrome camera"},
  };
  for (const auto& [text, problem] : cases) {
    SCOPED_TRACE(text);
    try {
      vq::sim::FleetParser::ParseBuiltIn(text);
      ADD_FAILURE() << "no exception";
    } catch (const vq::sim::FleetError& error) {
      EXPECT_EQ(std::string(error.what()), "Built-in simulated fleet: " + problem);
    }
  }
}

// The fleet file is read on the first SDK call of the process: these cases
// run in a process of their own.
TEST(SimFleetEnvironment, FleetFileNamedByTheEnvironmentReplacesTheDefault) {
  if (vqtest::RanInOwnProcess()) return;
  vqtest::TempDir dir;
  std::string path =
      WriteFile(dir.Path() + "/fleet.json", R"({"cameras": [{"model": "From File", "serial": 4711, "color": false}]})");
  vqtest::ScopedEnvironment environment;
  environment.Set("VORQUELL_SIM_FLEET", path);
  BusManager bus;
  unsigned int count = 0;
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 1u);
  Camera camera;
  ASSERT_TRUE(Ok(ConnectBySerial(camera, 4711)));
  CameraInfo info;
  ASSERT_TRUE(Ok(camera.GetCameraInfo(&info)));
  EXPECT_STREQ(info.modelName, "From File");
}

TEST(SimFleetEnvironment, MalformedFleetFileLeavesTheBusEmpty) {
  if (vqtest::RanInOwnProcess()) return;
  vqtest::TempDir dir;
  std::string path = WriteFile(dir.Path() + "/fleet.json", R"({"cameras": [{"model": true}]})");
  vqtest::ScopedEnvironment environment;
  environment.Set("VORQUELL_SIM_FLEET", path);
  BusManager bus;
  unsigned int count = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Error error = bus.GetNumOfCameras(&count);
    EXPECT_EQ(error.GetType(), PGRERROR_CONFIG_FILE_FAILED);
    EXPECT_EQ(std::string(error.GetDescription()),
              "Simulated fleet file '" + path + "': cameras[0]: missing required key 'color'");
  }
  PGRGuid guid;
  EXPECT_NE(bus.GetCameraFromIndex(0, &guid), PGRERROR_OK);
}

}  // namespace
}  // namespace simtest
