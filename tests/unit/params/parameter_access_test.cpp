#include "params/ParameterAccess.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include "params/DcamImageSizes.h"
#include "params/ParamEnum.h"
#include "params/ParamGroupTable.h"

using namespace vq;

namespace {

using namespace ParameterAccess;

const CameraIdentity Identity{2, "Vq-Color (1234)", 1234};

template <class F>
std::string ErrorText(F&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return std::string(typeid(e).name()) + ": " + e.what();
  }
  return "no exception";
}

std::string Expected(const std::exception& e, const std::string& text) {
  return std::string(typeid(e).name()) + ": " + text;
}

TEST(ParamGroupTable, RowsAndLookup) {
  size_t named = 0;
  while (ParamGroupTable[named].name != nullptr) ++named;
  EXPECT_EQ(named, 94u);
  EXPECT_EQ(ParamGroupTable[ParamGroupTableSize - 1].group, nullptr);
  EXPECT_STREQ(ParamGroupTable[0].name, "Brightness");
  EXPECT_STREQ(ParamGroupTable[71].name, "TemperatureAuto");
  EXPECT_STREQ(ParamGroupTable[93].name, "TriggerParameter");

  EXPECT_STREQ(LookupParamGroup("TriggerDelayAuto"), "Strobe / Trigger");
  EXPECT_STREQ(LookupParamGroup("TriggerModeOnePush"), "Strobe / Trigger");
  EXPECT_STREQ(LookupParamGroup("StrobeDuration3"), "Strobe / Trigger");
  EXPECT_STREQ(LookupParamGroup("FrameRateOn"), "Camera Settings");
  EXPECT_STREQ(LookupParamGroup("Fmt7PacketSize"), "Format7");
  EXPECT_STREQ(LookupParamGroup("brightness"), "Camera");
  EXPECT_STREQ(LookupParamGroup(""), "Camera");
}

TEST(GetParameter, ReadsTypedValuesAndNamesErrors) {
  CameraParameters params(Identity);
  params.AddParam(new ParamEnum("DCAM Formats", "DCAMVideoMode", "FORMAT7"));
  EXPECT_EQ(GetParameter<bool>(params, "continuous"), false);
  EXPECT_EQ(GetParameter<std::string>(params, "DCAMVideoMode"), "FORMAT7");
  EXPECT_EQ(ErrorText([&] { GetParameter<unsigned>(params, "Gain"); }),
            Expected(std::out_of_range(""), "Camera::GetParameter: Parameter 'Gain' does not exist"));
  EXPECT_EQ(ErrorText([&] { GetParameter<unsigned>(params, "LogLevel"); }),
            Expected(std::runtime_error(""), "Camera::GetParameter: Paramter 'LogLevel' accessed by wrong type"));
}

TEST(SetParameter, CreatesWithTheTableGroupThenSetsOnlyTheValue) {
  CameraParameters params(Identity);
  SetParameter<unsigned>(params, "Shutter", 100, 1, 500);
  SetParameter<float>(params, "brightness", 1.5f, 0.0f, 10.0f);
  SetParameter<int64_t>(params, "TriggerDelay", int64_t{1} << 40, 0, 0);
  EXPECT_EQ(params.GetParam("Shutter")._group, "Camera Settings");
  EXPECT_EQ(params.GetParam("brightness")._group, "Camera");
  EXPECT_EQ(params.GetParam("TriggerDelay")._group, "Strobe / Trigger");

  SetParameter<unsigned>(params, "shutter", 900, 0, 0);
  const auto& shutter = dynamic_cast<const Param<unsigned>&>(params.GetParam("Shutter"));
  EXPECT_EQ(shutter._value, 900u);
  EXPECT_EQ(shutter._min, 1u);
  EXPECT_EQ(shutter._max, 500u);
  EXPECT_EQ(shutter._step, 0u);
  EXPECT_EQ(shutter._defaultValue, 100u);
  EXPECT_FALSE(shutter.IsValid());
  EXPECT_EQ(params.Params().size(), 7);

  EXPECT_EQ(ErrorText([&] { SetParameter<bool>(params, "Shutter", true, false, true); }),
            Expected(std::runtime_error(""), "Camera::SetParameter: Parameter 'Shutter' accessed by wrong type"));
}

TEST(DriverParameterReaders, ReadTheFourDefaults) {
  CameraParameters params(Identity);
  SetParameter<int>(params, "LogLevel", 3, 0, 0);
  SetParameter<bool>(params, "LogIntoFile", true, false, false);
  SetParameter<int>(params, "DebugViewOutput", 2, 0, 0);
  SetParameter<bool>(params, "Continuous", true, false, false);
  EXPECT_EQ(GetLogLevel(params), 3);
  EXPECT_TRUE(GetLogIntoFile(params));
  EXPECT_EQ(GetDebugViewOutput(params), 2);
  EXPECT_TRUE(GetContinuous(params));

  params.AddParam(new Param<float>("General", "loglevel", 1.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_THROW(GetLogLevel(params), std::bad_cast);
}

class ImageSizeTest : public ::testing::Test {
 protected:
  ImageSizeTest() : _params(Identity) {
    _mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
    _mode->AddOption("160x120YUV444", 0);
    _mode->AddOption("800x600Y16", 10);
    _mode->AddOption("1600x1200Y16", 22);
    _mode->AddOption("FORMAT7", Format7VideoMode);
    _mode->AddOption("Unknown", 24);
    _params.AddParam(_mode);
  }
  CameraParameters _params;
  ParamEnum* _mode;
};

TEST_F(ImageSizeTest, DcamModesUseTheirTableSize) {
  EXPECT_EQ(GetImageSize(_params), std::make_pair(160u, 120u));
  _mode->SelectByValue(10);
  EXPECT_EQ(GetImageSize(_params), std::make_pair(800u, 600u));
  _mode->SelectByValue(22);
  EXPECT_EQ(GetImageSize(_params), std::make_pair(1600u, 1200u));
  _mode->SelectByValue(24);
  EXPECT_EQ(GetImageSize(_params), std::make_pair(0u, 0u));
}

TEST_F(ImageSizeTest, Format7UsesTheRegionParameters) {
  _mode->SelectByValue(Format7VideoMode);
  EXPECT_EQ(ErrorText([&] { GetImageSize(_params); }),
            Expected(std::runtime_error(""), "CameraParameters::GetParam: Parameter 'width' does not exist"));
  SetParameter<unsigned>(_params, "width", 1024, 8, 1280);
  SetParameter<int>(_params, "height", 700, 8, 960);
  EXPECT_EQ(GetImageSize(_params), std::make_pair(1024u, 0u));
  _params.AddParam(new Param<unsigned>("Format7", "height", 768, 8, 960, 8));
  EXPECT_EQ(GetImageSize(_params), std::make_pair(1024u, 768u));
}

TEST_F(ImageSizeTest, NotAnEnumerationGivesNoSize) {
  _params.AddParam(new Param<int>("DCAM Formats", "DCAMVideoMode", 10, 0, 0, 0));
  EXPECT_EQ(GetImageSize(_params), std::make_pair(0u, 0u));
}

}  // namespace
