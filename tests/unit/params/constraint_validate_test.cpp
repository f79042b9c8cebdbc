// CameraParameters::Validate: constraints first, then range and step of every
// parameter in force; the first failure names the parameter.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "features/CameraFeatures.h"
#include "features/ConstraintFormat7.h"
#include "features/ConstraintFrameRate.h"
#include "params/CameraParameters.h"
#include "params/ConstraintEnumOff.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
#include "tests/support/TestSupport.h"

using namespace vq;

namespace {

const CameraIdentity Identity{2, "Colour (9)", 9};

class Validation : public ::testing::Test {
 protected:
  // Validates, expecting failure; the error text.
  std::string Failure() {
    std::string error = "untouched";
    EXPECT_FALSE(_params.Validate(error));
    return error;
  }
  bool Passes() {
    std::string error = "untouched";
    const bool valid = _params.Validate(error);
    EXPECT_EQ("untouched", error);
    return valid;
  }
  Param<int>& Stepped(int value, int min, int step) {
    auto* param = new Param<int>("Camera", "Stepped", value, min, 100, step);
    _params.AddParam(param);
    return *param;
  }

  CameraParameters _params{Identity};
};

TEST_F(Validation, DefaultsPassAndLeaveTheErrorTextAlone) { EXPECT_TRUE(Passes()); }

TEST_F(Validation, ValueOutOfRangeNamesGroupParameterAndRange) {
  dynamic_cast<Param<int>&>(_params.GetParam("LogLevel"))._value = 9;
  EXPECT_EQ("General: LogLevel: out of range [0..4]", Failure());
}

TEST_F(Validation, IntegerMustBeAStepAwayFromItsMinimum) {
  Param<int>& param = Stepped(6, 0, 4);
  EXPECT_EQ("Camera: Stepped: must be multiple of 4", Failure());
  param._value = 8;
  EXPECT_TRUE(Passes());
  param._min = 2;
  param._value = 6;
  EXPECT_TRUE(Passes());
  param._value = 7;
  param._step = 0;
  EXPECT_TRUE(Passes());
}

TEST_F(Validation, StepIsCheckedOnlyForIntegers) {
  _params.AddParam(new Param<unsigned>("Format7", "width", 6, 0, 100, 4));
  _params.AddParam(new Param<int64_t>("Camera", "Big", 6, 0, 100, 4));
  EXPECT_TRUE(Passes());
}

TEST_F(Validation, StepDoesNotOverflowAtTheEdgesOfInt) {
  auto* param = new Param<int>("Camera", "Wide", 2147483647, -2147483647 - 1, 2147483647, 2);
  _params.AddParam(param);
  // 2^32 - 1 from the minimum: odd.
  EXPECT_EQ("Camera: Wide: must be multiple of 2", Failure());
  param->_step = -1;
  EXPECT_TRUE(Passes());
}

TEST_F(Validation, DisabledParametersAreNotChecked) {
  auto* disabled = new Param<int>("Camera", "Off", 50, 0, 4, 3);
  disabled->_enabled = false;
  _params.AddParam(disabled);
  EXPECT_TRUE(Passes());
}

TEST_F(Validation, EnumerationWhoseLabelIsNoOptionIsOutOfRange) {
  auto* choice = new ParamEnum("Strobe / Trigger", "TriggerSource", "");
  choice->AddOption("GPIO0", 0);
  choice->AddOption("None", 4);
  _params.AddParam(choice);
  EXPECT_TRUE(Passes());
  choice->_value = "GPIO9";
  EXPECT_EQ("Strobe / Trigger: TriggerSource: out of range [..]", Failure());
}

TEST_F(Validation, FirstFailingParameterInListOrderDecides) {
  Stepped(6, 0, 4);
  _params.AddParam(new Param<unsigned>("Format7", "width", 9, 0, 4, 0));
  dynamic_cast<Param<int>&>(_params.GetParam("DebugViewOutput"))._value = 7;
  EXPECT_EQ("General: DebugViewOutput: out of range [0..4]", Failure());
}

TEST_F(Validation, ConstraintsApplyBeforeTheChecks) {
  auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
  mode->AddOption("640x480Y8", 5);
  _params.AddParam(mode);
  _params.AddParam(new Param<unsigned>("Format7", "width", 9999, 0, 1280, 0));
  _params.AddConstraint(new ConstraintEnumOff("DCAMVideoMode", "FORMAT7", false, {"width"}));
  EXPECT_TRUE(Passes());
  EXPECT_FALSE(_params.GetParam("width")._enabled);
}

// A camera that is never opened: its frame-rate and Format7 lists stay empty.
class ValidationWithCamera : public Validation {
 protected:
  CameraModes _modes;
};

TEST_F(ValidationWithCamera, FailingConstraintIsLoggedAndEndsTheConstraintPass) {
  auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
  mode->AddOption("640x480Y8", 5);
  _params.AddParam(mode);
  _params.AddParam(new Param<unsigned>("Format7", "width", 9999, 0, 1280, 0));
  _params.AddConstraint(new ConstraintFrameRate(_modes));
  _params.AddConstraint(new ConstraintEnumOff("DCAMVideoMode", "FORMAT7", false, {"width"}));

  // The format has no line end; the log adds one.
  vqtest::LogCapture log(1, 0);
  // The later constraint would have put "width" out of force.
  EXPECT_EQ("Format7: width: out of range [0..1280]", Failure());
  EXPECT_EQ(std::vector<std::string>{"CameraParameters::Validate: Failed to apply constraints due: "
                                     "CameraParameters::GetParam: Parameter 'DCAMFrameRate' does not exist\n"},
            log.Messages());
}

TEST_F(ValidationWithCamera, UnsupportedFormat7ModeDoesNotFailValidation) {
  auto* fmt7Mode = new ParamEnum("Format7", "Fmt7Mode", "");
  fmt7Mode->AddOption("Mode 3", 3);
  _params.AddParam(fmt7Mode);
  _params.AddConstraint(new ConstraintFormat7(_modes));

  vqtest::LogCapture log(1, 0);
  EXPECT_TRUE(Passes());
  EXPECT_EQ(std::vector<std::string>{"CameraParameters::Validate: Failed to apply constraints due: "
                                     "Camera::GetFormat7Info: Mode 3 not supported\n"},
            log.Messages());
}

TEST_F(ValidationWithCamera, CopiedSetKeepsConstraintsBoundToTheSameCamera) {
  auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
  mode->AddOption("FORMAT7", 23);
  _params.AddParam(mode);
  _params.AddParam(new ParamEnum("DCAM Formats", "DCAMFrameRate", ""));
  _params.AddConstraint(new ConstraintFrameRate(_modes));

  CameraParameters copy(_params);
  std::string error;
  EXPECT_TRUE(copy.Validate(error));
  auto& frameRate = dynamic_cast<ParamEnum&>(copy.GetParam("DCAMFrameRate"));
  ASSERT_EQ(1u, frameRate.OptionCount());
  EXPECT_EQ((std::pair<std::string, int64_t>{"FORMAT7", 8}), frameRate.GetOptionAt(0));
  EXPECT_EQ("FORMAT7", frameRate._value);
  // The original is untouched by the copy's validation.
  EXPECT_EQ(0u, dynamic_cast<ParamEnum&>(_params.GetParam("DCAMFrameRate")).OptionCount());
}

}  // namespace
