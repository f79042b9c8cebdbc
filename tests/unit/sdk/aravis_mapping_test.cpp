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
                                           SerialCase{"0", Fnv("0")}, SerialCase{"0012", 12u},
                                           SerialCase{"", Fnv("")}, SerialCase{"-5", Fnv("-5")}));

TEST(GenicamMapping, PixelFormatsMapToTheSdkAndBack) {
  FrameFormat format;
  ASSERT_TRUE(FrameFormatOf("BayerGB8", &format));
  EXPECT_EQ(PIXEL_FORMAT_RAW8, format.format);
  EXPECT_EQ(GBRG, format.bayer);
  ASSERT_TRUE(FrameFormatOf("Mono16", &format));
  EXPECT_EQ(16u, format.bitsPerPixel);
  EXPECT_FALSE(FrameFormatOf("Mono12Packed", &format)) << "no kernel converts it";

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
