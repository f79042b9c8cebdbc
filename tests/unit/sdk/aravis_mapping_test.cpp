// The decisions that map the SDK's model onto GenICam feature names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sdk/aravis/GenicamMapping.h"

using namespace FlyCapture2;
using namespace vq::aravis;

namespace {

struct SerialCase {
  const char* serial;
  uint32_t number;
};

class SerialNumbers : public ::testing::TestWithParam<SerialCase> {};

// FNV-1a of the text, for serials that are not a usable number.
constexpr uint32_t Fnv(const char* text) {
  uint32_t hash = 2166136261u;
  for (; *text; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
  return hash;
}

}  // namespace

TEST_P(SerialNumbers, ANumberIsKeptAnythingElseGetsAStableHash) {
  EXPECT_EQ(GetParam().number, SerialNumberOf(GetParam().serial));
}

INSTANTIATE_TEST_SUITE_P(Serials, SerialNumbers,
                         ::testing::Values(SerialCase{"12345678", 12345678u}, SerialCase{"4294967295", 4294967295u},
                                           SerialCase{"GV01", Fnv("GV01")}, SerialCase{"4294967296", Fnv("4294967296")},
                                           SerialCase{"0", Fnv("0")}, SerialCase{"0012", 12u}, SerialCase{"", Fnv("")},
                                           SerialCase{"-5", Fnv("-5")}));

TEST(GenicamMapping, PixelFormatsMapToTheSdkAndBack) {
  FrameFormat format;
  ASSERT_TRUE(FrameFormatOf("BayerGB8", &format));
  EXPECT_EQ(PIXEL_FORMAT_RAW8, format.format);
  EXPECT_EQ(GBRG, format.bayer);
  ASSERT_TRUE(FrameFormatOf("Mono16", &format));
  EXPECT_EQ(16u, format.bitsPerPixel);
  EXPECT_FALSE(FrameFormatOf("Mono14", &format)) << "no kernel converts it";

  const std::vector<std::string> fake = {"BayerBG8", "BayerGB8", "BayerGR8", "BayerRG8", "Mono8", "RGB8", "Mono16"};
  EXPECT_EQ("BayerRG8", GenicamFormatFor(PIXEL_FORMAT_RAW8, fake)) << "RG is preferred whatever the order offered";
  EXPECT_EQ("BayerGB8", GenicamFormatFor(PIXEL_FORMAT_RAW8, {"Mono8", "BayerGB8"}));
  EXPECT_EQ("", GenicamFormatFor(PIXEL_FORMAT_422YUV8, fake));
  EXPECT_EQ(static_cast<unsigned>(PIXEL_FORMAT_MONO8 | PIXEL_FORMAT_MONO16 | PIXEL_FORMAT_RAW8 | PIXEL_FORMAT_RGB8),
            PixelFormatBits(fake));
  EXPECT_TRUE(OffersColour(fake));
  EXPECT_FALSE(OffersColour({"Mono8", "Mono16", "Mono12Packed"}));
}

TEST(GenicamMapping, AutoModesMatchManualOnePushAndAutomatic) {
  EXPECT_STREQ("Off", GenicamAutoOf(false, false));
  EXPECT_STREQ("Once", GenicamAutoOf(false, true));
  EXPECT_STREQ("Continuous", GenicamAutoOf(true, true)) << "automatic wins over one-push";
  for (const char* mode : {"Off", "Once", "Continuous"}) {
    AutoFlags flags = AutoFlagsOf(mode);
    EXPECT_STREQ(mode, GenicamAutoOf(flags.autoManualMode, flags.onePush));
  }
}

TEST(GenicamMapping, FloatFeaturesKeepAFixedStepAlsoBelowZero) {
  const PropertyMapping* gain = FindPropertyMapping(GAIN);
  ASSERT_NE(nullptr, gain);
  EXPECT_EQ(2412u, ScaledValue(24.12, 0.0, gain->scale));
  const PropertyMapping* hue = FindPropertyMapping(HUE);
  ASSERT_NE(nullptr, hue);
  // Hue -180 to 180 degrees: 0 to 3600 in tenths of a degree.
  EXPECT_EQ(0u, ScaledValue(-180.0, -180.0, hue->scale));
  EXPECT_EQ(3600u, ScaledValue(180.0, -180.0, hue->scale));
  for (unsigned value : {0u, 1u, 1799u, 3600u})
    EXPECT_EQ(value, ScaledValue(FeatureValue(value, -180.0, hue->scale), -180.0, hue->scale));
  EXPECT_EQ(0u, ScaledValue(std::nan(""), 0.0, 1.0));
  EXPECT_EQ(4294967295u, ScaledValue(1e12, 0.0, 100.0));
  EXPECT_EQ(nullptr, FindPropertyMapping(IRIS)) << "GenICam has no standard iris feature";
  EXPECT_TRUE(FindPropertyMapping(TEMPERATURE)->readOnly);
}

TEST(GenicamMapping, TriggerSourcesAreLinesAndTheSoftwareTriggerIsTheSourceWithoutALine) {
  EXPECT_EQ(0, TriggerSourceNumber("Line0"));
  EXPECT_EQ(3, TriggerSourceNumber("Line3"));
  EXPECT_EQ(4, TriggerSourceNumber("Software"));
  EXPECT_EQ(-1, TriggerSourceNumber("Line4"));
  EXPECT_EQ(-1, TriggerSourceNumber("Action1"));
  for (unsigned source = 0; source <= 4; ++source)
    EXPECT_EQ(static_cast<int>(source), TriggerSourceNumber(TriggerSourceName(source)));
  EXPECT_EQ("", TriggerSourceName(7));
}

TEST(GenicamMapping, DiscoveryDefaultsToUsbAndGigEAndNamesUnknownInterfaces) {
  std::string problems;
  DiscoverySettings settings = ParseDiscoverySettings(nullptr, nullptr, &problems);
  EXPECT_EQ((std::vector<std::string>{"USB3Vision", "GigEVision"}), settings.interfaces);
  EXPECT_TRUE(settings.addresses.empty());
  EXPECT_EQ("", problems);

  settings = ParseDiscoverySettings(" Fake , USB3 ,Fake,", "192.168.1.20, 10.0.0.7", &problems);
  EXPECT_EQ((std::vector<std::string>{"Fake"}), settings.interfaces);
  EXPECT_EQ((std::vector<std::string>{"192.168.1.20", "10.0.0.7"}), settings.addresses);
  EXPECT_EQ("unknown Aravis interface 'USB3' (known: USB3Vision, GigEVision, Fake)", problems);

  problems.clear();
  EXPECT_TRUE(ParseDiscoverySettings("", nullptr, &problems).interfaces.empty()) << "empty: no discovery at all";
}

TEST(GenicamMapping, Format7ModesAreThePowersOfTwoBothDirectionsBin) {
  EXPECT_EQ(1u, BinningOfFormat7Mode(0));
  EXPECT_EQ(2u, BinningOfFormat7Mode(1));
  EXPECT_EQ(16u, BinningOfFormat7Mode(4));
  EXPECT_EQ(0u, BinningOfFormat7Mode(-1));
  EXPECT_EQ(0u, BinningOfFormat7Mode(31));
  for (int mode = 0; mode < 31; ++mode)
    EXPECT_EQ(mode, Format7ModeOfBinning(BinningOfFormat7Mode(mode), BinningOfFormat7Mode(mode)));
  EXPECT_EQ(-1, Format7ModeOfBinning(2, 1)) << "binned one way only";
  EXPECT_EQ(-1, Format7ModeOfBinning(3, 3)) << "not a power of two";
  EXPECT_EQ(-1, Format7ModeOfBinning(0, 0));

  BinningRange none;
  EXPECT_TRUE(none.Offers(1));
  EXPECT_FALSE(none.Offers(2));
  BinningRange evenOnly{1, 4, 1, 2, 8, 2};  // vertical 2, 4, 6, 8
  EXPECT_TRUE(evenOnly.Offers(2));
  EXPECT_TRUE(evenOnly.Offers(4));
  EXPECT_FALSE(evenOnly.Offers(3)) << "off the vertical increment";
  EXPECT_FALSE(evenOnly.Offers(8)) << "beyond the horizontal maximum";
  EXPECT_FALSE(evenOnly.Offers(1)) << "below the vertical minimum";
}

struct LayoutCase {
  const char* name;
  SensorGeometry sensor;
  BinningRange binning;
  unsigned int width, height;
  FixedModeLayout expected;
};

class FixedModeLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FixedModeLayouts, AModeIsTheBinnedWholeSensorOrItsCentre) {
  const LayoutCase& c = GetParam();
  FixedModeLayout layout = LayOutFixedMode(c.sensor, c.binning, c.width, c.height);
  EXPECT_EQ(c.expected.supported, layout.supported);
  EXPECT_EQ(c.expected.binning, layout.binning);
  EXPECT_EQ(c.expected.offsetX, layout.offsetX);
  EXPECT_EQ(c.expected.offsetY, layout.offsetY);
}

const BinningRange kBinsToFour{1, 4, 1, 1, 4, 1};

INSTANTIATE_TEST_SUITE_P(
    Layouts, FixedModeLayouts,
    ::testing::Values(
        LayoutCase{"BinnedTwiceIsTheWholeSensor", {1280, 960, 1, 1, 1, 1}, kBinsToFour, 640, 480, {true, 2, 0, 0}},
        LayoutCase{"BinnedFourTimes", {2560, 1920, 1, 1, 1, 1}, kBinsToFour, 640, 480, {true, 4, 0, 0}},
        LayoutCase{"NoBinningGivesTheCentre", {1280, 960, 1, 1, 1, 1}, BinningRange{}, 640, 480, {true, 1, 320, 240}},
        LayoutCase{
            "NotExactlyBinnedGivesTheCentre", {1288, 964, 4, 2, 4, 2}, kBinsToFour, 640, 480, {true, 1, 324, 242}},
        LayoutCase{
            "OffsetsRoundDownToTheirIncrement", {1288, 964, 4, 2, 8, 4}, kBinsToFour, 640, 480, {true, 1, 320, 240}},
        LayoutCase{"TheFullSensorIsNotBinned", {640, 480, 1, 1, 1, 1}, kBinsToFour, 640, 480, {true, 1, 0, 0}},
        LayoutCase{"LargerThanTheSensor", {1280, 960, 1, 1, 1, 1}, kBinsToFour, 1600, 1200, {false, 1, 0, 0}},
        LayoutCase{"OffTheWidthIncrement", {2048, 2048, 48, 1, 1, 1}, kBinsToFour, 800, 600, {false, 1, 0, 0}},
        LayoutCase{"AspectDiffersFromTheSensor", {1280, 1280, 1, 1, 1, 1}, kBinsToFour, 640, 480, {true, 1, 320, 400}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(GenicamMapping, AStrobeUsesTheTimerOfItsPinElseAnyTimerItsLineCanOutput) {
  EXPECT_EQ(0, TimerOfLineSource("Timer0Active"));
  EXPECT_EQ(12, TimerOfLineSource("Timer12Active"));
  for (const char* other : {"ExposureActive", "TimerActive", "Timer0", "Timer1ActiveX", "Timer-1Active", "Off"})
    EXPECT_EQ(-1, TimerOfLineSource(other)) << other;
  EXPECT_EQ("Timer3Active", TimerLineSource(3));

  const std::vector<std::string> sources{"Off", "ExposureActive", "Timer0Active", "Timer1Active"};
  const std::vector<std::string> timers{"Timer0", "Timer1"};
  EXPECT_EQ(1, StrobeTimerFor(1, sources, timers));
  EXPECT_EQ(0, StrobeTimerFor(2, sources, timers)) << "no Timer2: the first the line can output";
  EXPECT_EQ(1, StrobeTimerFor(0, sources, {"Timer1"})) << "Timer0 is not selectable";
  EXPECT_EQ(-1, StrobeTimerFor(0, sources, {})) << "no timers";
  EXPECT_EQ(-1, StrobeTimerFor(0, {"Off", "ExposureActive"}, timers)) << "the line outputs no timer";

  EXPECT_EQ("ExposureStart", TimerTriggerFor({"Off", "FrameStart", "ExposureStart"}));
  EXPECT_EQ("FrameStart", TimerTriggerFor({"Off", "FrameStart"}));
  EXPECT_EQ("", TimerTriggerFor({"Off", "Line0"}));

  // Milliseconds for the SDK, microseconds for the timer; one range for both.
  StrobeRange range = StrobeRangeOf(1000000.0, 65535.0);
  EXPECT_FLOAT_EQ(0.0f, range.min);
  EXPECT_FLOAT_EQ(65.535f, range.max);
  EXPECT_DOUBLE_EQ(2500.0, TimerMicroseconds(2.5f));
  EXPECT_FLOAT_EQ(2.5f, StrobeMilliseconds(2500.0));
  EXPECT_FLOAT_EQ(0.0f, StrobeRangeOf(std::nan(""), 10.0).max) << "an unreadable bound gives no range";
}
