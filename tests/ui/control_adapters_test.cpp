// The property control adapters: each parameter type through its grid item
// and back, the lookup by exact type, the enumeration's selected index, the
// "Format" option and the failure texts.
#include <gtest/gtest.h>

#include <cfloat>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "params/Param.h"
#include "params/ParamEnum.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CPropertyGeneral.h"
#include "ui/CSheet1.h"
#include "ui/PropertyControlAdapterBool.h"
#include "ui/PropertyControlAdapterEnum.h"
#include "ui/PropertyControlAdapterFloat.h"
#include "ui/PropertyControlAdapterInt.h"
#include "ui/PropertyControlAdapterString.h"

using namespace vq;

namespace {

// A parameter type that no adapter serves, although it is a Param<int>.
class CountedParam : public Param<int> {
 public:
  CountedParam() : Param<int>("Camera", "Counted", 0, 0, 10, 1) {}
  CountedParam* Clone() const override { return new CountedParam(*this); }
};

template <class Exception, class Action>
std::string ThrownText(Action action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.what();
  } catch (const std::exception& error) {
    return std::string("other exception: ") + error.what();
  }
  return "nothing thrown";
}

class ControlAdapters : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    _gridWidget = std::make_unique<CPropertyGrid>();
    _section = Grid().AddSection("Camera");
  }
  CPropertyGrid& Grid() { return *_gridWidget; }

  // The adapter for `param` creates its item.
  HITEM Create(Param_& param) { return CPropertyGeneral::LookupAdapter(param)->CreateControl(param, Grid(), _section); }
  void Set(Param_& param, HITEM item) { CPropertyGeneral::LookupAdapter(param)->SetControl(param, Grid(), item); }
  void Get(Param_& param, HITEM item) { CPropertyGeneral::LookupAdapter(param)->GetControl(param, Grid(), item); }

  std::unique_ptr<CPropertyGrid> _gridWidget;
  HSECTION _section;
};

TEST_F(ControlAdapters, LookupGoesByTheExactType) {
  Param<bool> flag("G", "Flag", true, false, true, false);
  Param<int> number("G", "Number", 1, 0, 9, 1);
  Param<unsigned> count("G", "Count", 1u, 0u, 9u, 0u);
  Param<int64_t> wide("G", "Wide", 1, 0, 9, 0);
  Param<float> gain("G", "Gain", 1.f, 0.f, 9.f, 0.f);
  Param<std::string> text("G", "Text", "x");
  ParamEnum choice("G", "Choice", "");
  const auto& adapterOf = [](const Param_& param) -> const std::type_info& {
    const std::shared_ptr<PropertyControlAdapter> adapter = CPropertyGeneral::LookupAdapter(param);
    const PropertyControlAdapter& object = *adapter;
    return typeid(object);
  };
  EXPECT_EQ(typeid(PropertyControlAdapterBool), adapterOf(flag));
  EXPECT_EQ(typeid(PropertyControlAdapterInt<int>), adapterOf(number));
  EXPECT_EQ(typeid(PropertyControlAdapterInt<unsigned>), adapterOf(count));
  EXPECT_EQ(typeid(PropertyControlAdapterInt<int64_t>), adapterOf(wide));
  EXPECT_EQ(typeid(PropertyControlAdapterFloat), adapterOf(gain));
  EXPECT_EQ(typeid(PropertyControlAdapterString), adapterOf(text));
  EXPECT_EQ(typeid(PropertyControlAdapterEnum), adapterOf(choice)) << "not the string adapter of its base";
  EXPECT_EQ(CPropertyGeneral::LookupAdapter(number), CPropertyGeneral::LookupAdapter(number)) << "one instance";

  CountedParam counted;
  EXPECT_EQ("CPropertyGeneral::LookupAdapter: Unsupported parameter 'Counted' type",
            ThrownText<std::runtime_error>([&] { CPropertyGeneral::LookupAdapter(counted); }));
}

TEST_F(ControlAdapters, NumbersRoundTripThroughTheirItems) {
  Param<int> number("G", "Number", -5, -10, 10, 1);
  Param<unsigned> count("G", "Count", 4000000000u, 0u, 4294967295u, 0u);
  Param<int64_t> wide("G", "Wide", int64_t{1} << 40, 0, 0, 0);
  const HITEM numberItem = Create(number);
  const HITEM countItem = Create(count);
  const HITEM wideItem = Create(wide);
  EXPECT_EQ("-5", Grid().GetItemText(numberItem));
  EXPECT_EQ("4000000000", Grid().GetItemText(countItem));
  EXPECT_EQ("1099511627776", Grid().GetItemText(wideItem));
  EXPECT_EQ("Number", Grid().GetItemName(numberItem));

  ASSERT_TRUE(Grid().SetItemValue(numberItem, 7));
  ASSERT_TRUE(Grid().SetItemValue(countItem, 12u));
  ASSERT_TRUE(Grid().SetItemValue(wideItem, int64_t{-3}));
  Get(number, numberItem);
  Get(count, countItem);
  Get(wide, wideItem);
  EXPECT_EQ(7, number._value);
  EXPECT_EQ(12u, count._value);
  EXPECT_EQ(-3, wide._value);

  number._value = 99;  // out of range: stored, shown, never clamped here
  Set(number, numberItem);
  EXPECT_EQ("99", Grid().GetItemText(numberItem));
}

TEST_F(ControlAdapters, FloatBoolAndStringRoundTripThroughTheirItems) {
  Param<float> gain("G", "Gain", 0.5f, 0.f, 10.f, 0.f);
  Param<bool> flag("G", "Flag", true, false, true, false);
  Param<std::string> text("G", "Text", "hello");
  const HITEM gainItem = Create(gain);
  const HITEM flagItem = Create(flag);
  const HITEM textItem = Create(text);
  EXPECT_EQ("0.5", Grid().GetItemText(gainItem));
  EXPECT_EQ("True", Grid().GetItemText(flagItem));
  EXPECT_EQ("hello", Grid().GetItemText(textItem));

  ASSERT_TRUE(Grid().SetItemValue(gainItem, 2.25));
  ASSERT_TRUE(Grid().SetItemValue(flagItem, false));
  ASSERT_TRUE(Grid().SetItemValue(textItem, QString("world")));
  Get(gain, gainItem);
  Get(flag, flagItem);
  Get(text, textItem);
  EXPECT_EQ(2.25f, gain._value);
  EXPECT_FALSE(flag._value);
  EXPECT_EQ("world", text._value);

  ASSERT_TRUE(Grid().SetItemValue(gainItem, 1e300));
  Get(gain, gainItem);
  EXPECT_EQ(FLT_MAX, gain._value) << "beyond the float range: the largest float";

  gain._value = 3.5f;
  flag._value = true;
  text._value = "again";
  Set(gain, gainItem);
  Set(flag, flagItem);
  Set(text, textItem);
  EXPECT_EQ("3.5", Grid().GetItemText(gainItem));
  EXPECT_EQ("True", Grid().GetItemText(flagItem));
  EXPECT_EQ("again", Grid().GetItemText(textItem));
}

TEST_F(ControlAdapters, ItemsStartEnabledAsTheirParameters) {
  Param<int> off("G", "Off", 1, 0, 9, 0);
  off._enabled = false;
  Param<bool> on("G", "On", true, false, true, false);
  EXPECT_FALSE(Grid().IsItemEnabled(Create(off)));
  EXPECT_TRUE(Grid().IsItemEnabled(Create(on)));
}

TEST_F(ControlAdapters, FormatOptionIsTheDisplayFormat) {
  Param<int> plain("G", "Plain", 42, 0, 100, 0);
  Param<int> padded("G", "Padded", 42, 0, 100, 0);
  padded._options["Format"] = std::string("%05d");
  Param<float> gain("G", "Gain", 1.5f, 0.f, 10.f, 0.f);
  gain._options["Format"] = std::string("%.3f dB");
  EXPECT_EQ("42", Grid().GetItemText(Create(plain)));
  EXPECT_EQ("00042", Grid().GetItemText(Create(padded)));
  EXPECT_EQ("1.500 dB", Grid().GetItemText(Create(gain)));
}

ParamEnum Modes(const std::string& label) {
  ParamEnum modes("DCAM Formats", "DCAMVideoMode", label);
  modes.AddOption("640x480Y8", 5);
  modes.AddOption("1280x960Y8", 17);
  modes.AddOption("FORMAT7", 23);
  return modes;
}

TEST_F(ControlAdapters, EnumerationShowsTheOptionOfItsValue) {
  ParamEnum modes = Modes("");
  modes._value = "1280x960Y8";
  const HITEM item = Create(modes);
  EXPECT_EQ((QStringList{"640x480Y8", "1280x960Y8", "FORMAT7"}), Grid().GetItemOptions(item));
  int64_t index = -1;
  ASSERT_TRUE(Grid().GetItemValue(item, index));
  EXPECT_EQ(1, index);
}

TEST_F(ControlAdapters, EnumerationIndexIsTheLastMatchAndZeroWithoutOne) {
  ParamEnum unknown = Modes("");
  unknown._value = "no such label";
  int64_t index = -1;
  ASSERT_TRUE(Grid().GetItemValue(Create(unknown), index));
  EXPECT_EQ(0, index);

  ParamEnum repeated("G", "Repeated", "");
  repeated.AddOption("first", 4);
  repeated.AddOption("other", 1);
  repeated.AddOption("second", 4);
  repeated._value = "first";
  ASSERT_TRUE(Grid().GetItemValue(Create(repeated), index));
  EXPECT_EQ(2, index);
}

TEST_F(ControlAdapters, EnumerationReadsBackItsLabelAndRefreshesItsOptions) {
  ParamEnum modes = Modes("");
  const HITEM item = Create(modes);
  ASSERT_TRUE(Grid().SetItemValue(item, int64_t{2}));
  Get(modes, item);
  EXPECT_EQ("FORMAT7", modes._value);
  EXPECT_EQ(23, modes.GetValue());

  // A constraint rebuilds the options; the next SetControl shows them.
  modes.ClearOptions();
  modes.AddOption("FORMAT7", 8);
  modes.AddOption("30 fps", 4);
  modes.SelectByValue(4);
  Set(modes, item);
  EXPECT_EQ((QStringList{"FORMAT7", "30 fps"}), Grid().GetItemOptions(item));
  EXPECT_EQ("30 fps", Grid().GetItemText(item));
}

TEST_F(ControlAdapters, FailuresCarryTheirTexts) {
  Param<int> number("G", "Number", 1, 0, 9, 0);
  Param<float> gain("G", "Gain", 1.f, 0.f, 9.f, 0.f);
  Param<std::string> text("G", "Text", "x");
  Param<unsigned> count("G", "Count", 1u, 0u, 9u, 0u);
  const HITEM numberItem = Create(number);
  const HITEM flagItem = Grid().AddBoolItem(_section, "Flag", true);

  PropertyControlAdapterInt<int> intAdapter;
  EXPECT_EQ("Wrong parameter 'Gain' type",
            ThrownText<std::bad_cast>([&] { intAdapter.CreateControl(gain, Grid(), _section); }));
  PropertyControlAdapterEnum enumAdapter;
  EXPECT_EQ("Wrong parameter 'Text' type",
            ThrownText<std::bad_cast>([&] { enumAdapter.CreateControl(text, Grid(), _section); }));
  EXPECT_EQ("Failed to set control 'Number' value",
            ThrownText<std::runtime_error>([&] { intAdapter.SetControl(number, Grid(), flagItem); }));
  EXPECT_EQ("Failed to get control 'Number' value",
            ThrownText<std::runtime_error>([&] { intAdapter.GetControl(number, Grid(), flagItem); }));

  // A value the item holds but the parameter's type cannot take is not wrapped.
  const HITEM countItem = Create(count);
  ASSERT_TRUE(Grid().SetItemValue(countItem, int64_t{-1}));
  EXPECT_EQ("Failed to get control 'Count' value", ThrownText<std::runtime_error>([&] { Get(count, countItem); }));
  EXPECT_EQ(1u, count._value);
  EXPECT_EQ(1, number._value);
  (void)numberItem;
}

TEST_F(ControlAdapters, PageCreationFailsForATypeWithoutAdapter) {
  CameraParameters params(CameraIdentity{1, "Cam (1)", 1});
  params.AddParam(new CountedParam);
  CSheet1 sheet("title", nullptr);
  EXPECT_EQ("CPropertyGeneral::LookupAdapter: Unsupported parameter 'Counted' type",
            ThrownText<std::runtime_error>([&] { CPropertyGeneral page(nullptr, params, sheet); }));
}

}  // namespace
