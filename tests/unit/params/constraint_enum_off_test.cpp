// ConstraintEnumOff: dependents in force only while an enumeration shows one label.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "params/CameraParameters.h"
#include "params/ConstraintEnumOff.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
#include "tests/support/TestSupport.h"

using namespace vq;

namespace {

const CameraIdentity Identity{1, "Mono (7)", 7};

class EnumOff : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
    mode->AddOption("640x480Y8", 5);
    mode->AddOption("FORMAT7", 23);
    _params.AddParam(mode);
    _params.AddParam(new Param<unsigned>("Format7", "width", 640, 0, 1280, 0));
    _params.AddParam(new Param<unsigned>("Format7", "height", 480, 0, 960, 0));
  }
  void Select(int64_t mode) { dynamic_cast<ParamEnum&>(_params.GetParam("DCAMVideoMode")).SelectByValue(mode); }
  bool Enabled(const char* name) { return _params.GetParam(name)._enabled; }

  CameraParameters _params{Identity};
};

TEST_F(EnumOff, DependentsAreInForceOnlyWhileTheLabelMatches) {
  ConstraintEnumOff constraint("DCAMVideoMode", "FORMAT7", false, {"width", "height"});
  constraint.Apply(_params);
  EXPECT_FALSE(Enabled("width"));
  EXPECT_FALSE(Enabled("height"));
  EXPECT_TRUE(Enabled("DCAMVideoMode"));

  Select(23);
  constraint.Apply(_params);
  EXPECT_TRUE(Enabled("width"));
  EXPECT_TRUE(Enabled("height"));
}

TEST_F(EnumOff, InvertedDependentsAreInForceWhileTheLabelDiffers) {
  ConstraintEnumOff constraint("DCAMVideoMode", "FORMAT7", true, {"width"});
  constraint.Apply(_params);
  EXPECT_TRUE(Enabled("width"));
  Select(23);
  constraint.Apply(_params);
  EXPECT_FALSE(Enabled("width"));
}

TEST_F(EnumOff, LabelComparisonIsExact) {
  ConstraintEnumOff constraint("DCAMVideoMode", "format7", false, {"width"});
  Select(23);
  constraint.Apply(_params);
  EXPECT_FALSE(Enabled("width"));
}

TEST_F(EnumOff, ControllingParameterThatIsNoEnumerationIsLoggedAndChangesNothing) {
  vqtest::LogCapture log(1, 0);
  _params.GetParam("height")._enabled = false;
  ConstraintEnumOff constraint("width", "FORMAT7", false, {"height"});
  constraint.Apply(_params);
  EXPECT_EQ(std::vector<std::string>{"ConstraintEnumOff::Apply: Parameter 'width' is not enumeration\n"},
            log.Messages());
  EXPECT_FALSE(Enabled("height"));
}

TEST_F(EnumOff, AbsentControllingOrDependentParameterThrows) {
  ConstraintEnumOff noControl("VideoMode", "FORMAT7", false, {"width"});
  EXPECT_THROW(
      {
        try {
          noControl.Apply(_params);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ("CameraParameters::GetParam: Parameter 'VideoMode' does not exist", e.what());
          throw;
        }
      },
      std::runtime_error);

  ConstraintEnumOff noDependent("DCAMVideoMode", "FORMAT7", false, {"offsetX", "width"});
  EXPECT_THROW(noDependent.Apply(_params), std::runtime_error);
}

TEST_F(EnumOff, CloneKeepsEveryMember) {
  ConstraintEnumOff original("DCAMVideoMode", "640x480Y8", true, {"width"});
  std::unique_ptr<Constraint> clone(original.Clone());
  ASSERT_NE(nullptr, dynamic_cast<ConstraintEnumOff*>(clone.get()));
  clone->Apply(_params);
  EXPECT_FALSE(Enabled("width"));
  EXPECT_TRUE(Enabled("height"));
  Select(23);
  clone->Apply(_params);
  EXPECT_TRUE(Enabled("width"));
}

}  // namespace
