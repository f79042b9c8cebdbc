#include "params/CameraParameters.h"

#include <gtest/gtest.h>

#include <boost/ptr_container/exception.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "params/Param.h"
#include "params/ParamEnum.h"

using namespace vq;

namespace {

// Records its attachments and the sets it is applied to.
class RecordingConstraint : public Constraint {
 public:
  explicit RecordingConstraint(std::string tag) : _tag(std::move(tag)) {}
  void Attach(CameraParameters& params) override { _attachedTo.push_back(&params); }
  void Apply(CameraParameters& params) override { params.GetParam("LogLevel")._enabled = false; }
  RecordingConstraint* Clone() const override { return new RecordingConstraint(*this); }

  std::string _tag;
  std::vector<const CameraParameters*> _attachedTo;
};

const CameraIdentity Identity{2, "Vq-Color (1234)", 1234};

std::vector<std::string> Names(const CameraParameters& params) {
  std::vector<std::string> names;
  for (const Param_& param : params.Params()) names.push_back(param._name);
  return names;
}

template <class T>
Param<T>& Typed(CameraParameters& params, const std::string& name) {
  return dynamic_cast<Param<T>&>(params.GetParam(name));
}

// Type, flags, range and value of a parameter in one line.
std::string Describe(Param_& param) {
  std::ostringstream out;
  out << (dynamic_cast<Param<int>*>(&param)    ? "int "
          : dynamic_cast<Param<bool>*>(&param) ? "bool "
                                               : "other ")
      << param._name << " '" << param._group << "' enabled=" << param._enabled << " global=" << param._global
      << " persistent=" << param._persistent << " visible=" << param._visible << " ";
  param.PrintRange(out);
  out << " " << param.ToString();
  return out.str();
}

TEST(CameraParametersDefaults, FourDriverParametersInOrder) {
  CameraParameters params(Identity);
  std::vector<std::string> described;
  for (Param_& param : params.Params()) described.push_back(Describe(param));
  EXPECT_EQ(described, (std::vector<std::string>{
                           "int LogLevel 'General' enabled=1 global=1 persistent=1 visible=1 [0..4] 1",
                           "bool LogIntoFile 'General' enabled=1 global=1 persistent=0 visible=1 [0..1] 0",
                           "int DebugViewOutput 'General' enabled=1 global=1 persistent=1 visible=0 [0..4] 0",
                           "bool Continuous 'Camera Settings' enabled=1 global=0 persistent=1 visible=1 [0..1] 0"}));
  EXPECT_EQ(params.Identity().name, "Vq-Color (1234)");
  EXPECT_EQ(params.Identity().serialNumber, 1234u);
  EXPECT_EQ(params.Constraints().size(), 0);
}

TEST(CameraParametersIndex, IgnoresCaseAndNamesMissingParameters) {
  CameraParameters params(Identity);
  EXPECT_EQ(&params.GetParam("loglevel"), &params.GetParam("LogLevel"));
  EXPECT_TRUE(params.HasParam("CONTINUOUS"));
  EXPECT_FALSE(params.HasParam("LogLeve"));
  EXPECT_EQ(params.FindParam("Gain"), nullptr);
  try {
    params.GetParam("Gain");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "CameraParameters::GetParam: Parameter 'Gain' does not exist");
  }
}

TEST(CameraParametersAddParam, DuplicateNameKeepsBothAndIndexFindsTheNewer) {
  CameraParameters params(Identity);
  auto* newer = new Param<int>("Camera", "loglevel", 3, 0, 0, 0);
  params.AddParam(newer);
  EXPECT_EQ(params.Params().size(), 5);
  EXPECT_EQ(Names(params)[0], "LogLevel");
  EXPECT_EQ(&params.GetParam("LogLevel"), newer);
}

TEST(CameraParametersAddParam, NullIsRejectedWithTheContainerText) {
  CameraParameters params(Identity);
  try {
    params.AddParam(nullptr);
    FAIL() << "no exception";
  } catch (const boost::bad_pointer& e) {
    EXPECT_STREQ(e.what(), "Null pointer in 'push_back()'");
  }
  EXPECT_EQ(params.Params().size(), 4);
}

TEST(CameraParametersConstraints, AttachedToTheSetThatStoresThem) {
  CameraParameters params(Identity);
  auto* constraint = new RecordingConstraint("first");
  params.AddConstraint(constraint);
  EXPECT_EQ(constraint->_attachedTo, std::vector<const CameraParameters*>{&params});
  ASSERT_EQ(params.Constraints().size(), 1);
  EXPECT_EQ(&params.Constraints().front(), constraint);
}

class CameraParametersCopyTest : public ::testing::Test {
 protected:
  CameraParametersCopyTest() : _original(Identity) {
    auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
    mode->AddOption("640x480Y8", 5);
    mode->AddOption("800x600Y16", 10);
    _original.AddParam(mode);
    _original.AddParam(new Param<int>("Camera", "Continuous", 7, 0, 0, 0));  // shadows the bool
    _original.AddConstraint(new RecordingConstraint("c1"));
  }

  void ExpectIndependentDeepCopy(CameraParameters& copy) {
    EXPECT_EQ(Names(copy), Names(_original));
    EXPECT_EQ(copy.Identity().name, _original.Identity().name);
    auto originalParam = _original.Params().begin();
    for (Param_& param : copy.Params()) {
      EXPECT_NE(&param, &*originalParam++);
      EXPECT_EQ(copy.FindParam(param._name)->_name, param._name);
    }
    // The index finds the clones, including the newer of two equal names.
    EXPECT_EQ(&copy.GetParam("LogLevel"), &*copy.Params().begin());
    EXPECT_EQ(Typed<int>(copy, "continuous")._value, 7);

    auto& mode = dynamic_cast<ParamEnum&>(copy.GetParam("DCAMVideoMode"));
    EXPECT_EQ(mode.OptionCount(), 2u);
    mode.SelectByValue(10);
    Typed<int>(copy, "LogLevel")._value = 4;
    EXPECT_EQ(dynamic_cast<ParamEnum&>(_original.GetParam("DCAMVideoMode"))._value, "640x480Y8");
    EXPECT_EQ(Typed<int>(_original, "LogLevel")._value, 1);

    ASSERT_EQ(copy.Constraints().size(), 1);
    const auto& clone = dynamic_cast<const RecordingConstraint&>(copy.Constraints().front());
    EXPECT_NE(&clone, &_original.Constraints().front());
    EXPECT_EQ(clone._tag, "c1");
    const_cast<RecordingConstraint&>(clone).Apply(copy);
    EXPECT_FALSE(copy.GetParam("LogLevel")._enabled);
    EXPECT_TRUE(_original.GetParam("LogLevel")._enabled);
  }

  CameraParameters _original;
};

TEST_F(CameraParametersCopyTest, CopyConstructorIsDeep) {
  CameraParameters copy(_original);
  ExpectIndependentDeepCopy(copy);
}

TEST_F(CameraParametersCopyTest, AssignmentReplacesTheOldContentsWithClones) {
  CameraParameters copy(CameraIdentity{1, "Vq-Mono (99)", 99});
  copy.AddParam(new Param<float>("Camera Settings", "Gain", 1.0f, 0.0f, 24.0f, 0.0f));
  copy = _original;
  EXPECT_FALSE(copy.HasParam("Gain"));
  EXPECT_EQ(copy.Identity().serialNumber, 1234u);
  ExpectIndependentDeepCopy(copy);

  // The dialog's copy goes back over the camera's set.
  _original = copy;
  EXPECT_EQ(dynamic_cast<ParamEnum&>(_original.GetParam("DCAMVideoMode"))._value, "800x600Y16");
  EXPECT_EQ(Typed<int>(_original, "LogLevel")._value, 4);
  CameraParameters& same = _original;
  _original = same;
  EXPECT_EQ(Typed<int>(_original, "LogLevel")._value, 4);
}

}  // namespace
