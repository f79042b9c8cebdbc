#include "params/Param.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

using namespace vq;

namespace {

template <class T>
T Parsed(const std::string& text, bool clamp = false, T min = T{}, T max = T{}) {
  Param<T> param("g", "p", T{}, min, max, T{});
  param.FromString(text, clamp);
  return param._value;
}

TEST(ParamFromString, IntegerTextsReadTheirLeadingNumber) {
  EXPECT_EQ(Parsed<int>("12abc"), 12);
  EXPECT_EQ(Parsed<int>("abc"), 0);
  EXPECT_EQ(Parsed<int>("  -7"), -7);
  EXPECT_EQ(Parsed<int>("+8"), 8);
  EXPECT_EQ(Parsed<int>("- 8"), 0);
  EXPECT_EQ(Parsed<int>("-99999999999"), INT32_MIN);
  EXPECT_EQ(Parsed<int64_t>("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(Parsed<int64_t>("123456789012345678901"), INT64_MAX);
  EXPECT_TRUE(Parsed<bool>("2"));
  EXPECT_FALSE(Parsed<bool>("true"));
  // Negative texts are 32-bit two's complement; the unsigned text of a value reads back.
  EXPECT_EQ(Parsed<unsigned>("-1"), 4294967295u);
  EXPECT_EQ(Parsed<unsigned>("3000000000"), 3000000000u);
  EXPECT_EQ(Parsed<unsigned>("99999999999"), 4294967295u);
}

TEST(ParamFromString, FloatTextsAreDecimalOnly) {
  EXPECT_FLOAT_EQ(Parsed<float>(" 1.5e2x"), 150.0f);
  EXPECT_FLOAT_EQ(Parsed<float>("-.25"), -0.25f);
  EXPECT_FLOAT_EQ(Parsed<float>("3e"), 3.0f);
  EXPECT_FLOAT_EQ(Parsed<float>("0x10"), 0.0f);
  EXPECT_FLOAT_EQ(Parsed<float>("nan"), 0.0f);
  EXPECT_FLOAT_EQ(Parsed<float>("-1e99"), -3.40282347e38f);
}

TEST(ParamFromString, ClampRaisesToMinThenLowersToMax) {
  EXPECT_EQ(Parsed<int>("9", true, 0, 4), 4);
  EXPECT_EQ(Parsed<int>("-3", true, 0, 4), 0);
  EXPECT_EQ(Parsed<int>("9", false, 0, 4), 9);
  EXPECT_EQ(Parsed<int>("2", true, 5, 3), 3);  // min above max: max wins
  Param<std::string> text("g", "p", "m");
  text.FromString("zz", true);
  EXPECT_EQ(text._value, "m");
}

TEST(ParamToString, FloatHasSeventeenDigitsAndReadsBack) {
  Param<float> param("g", "p", 0.1f, 0.0f, 1.0f, 0.0f);
  EXPECT_STREQ(param.ToString(), "0.10000000149011612");
  EXPECT_EQ(param._text, "0.10000000149011612");
  param._value = 1.0f / 3.0f;
  const std::string text = param.ToString();
  param.FromString(text, false);
  EXPECT_EQ(param._value, 1.0f / 3.0f);
}

TEST(ParamToString, OtherTypes) {
  EXPECT_STREQ(Param<int>("g", "p", -42, 0, 0, 0).ToString(), "-42");
  EXPECT_STREQ(Param<unsigned>("g", "p", 4294967295u, 0, 0, 0).ToString(), "4294967295");
  EXPECT_STREQ(Param<bool>("g", "p", true, false, true, false).ToString(), "1");
  EXPECT_STREQ(Param<int64_t>("g", "p", INT64_MIN, 0, 0, 0).ToString(), "-9223372036854775808");
  EXPECT_STREQ(Param<std::string>("g", "p", "text").ToString(), "text");
}

TEST(ParamIsValid, RangeAppliesOnlyWhenMinIsBelowMax) {
  Param<int> param("General", "LogLevel", 9, 0, 4, 0);
  EXPECT_FALSE(param.IsValid());
  param._value = 4;
  EXPECT_TRUE(param.IsValid());
  param._value = -1;
  EXPECT_FALSE(param.IsValid());
  param._min = param._max = 0;
  EXPECT_TRUE(param.IsValid());
  Param<std::string> text("g", "p", "m");
  text._value = "zzz";
  EXPECT_TRUE(text.IsValid());
  text._max = "n";
  EXPECT_FALSE(text.IsValid());
}

TEST(ParamPrint, WritesNameValueAndRange) {
  std::ostringstream out;
  Param<int> logLevel("General", "LogLevel", 1, 0, 4, 0);
  logLevel.Print(out);
  logLevel.PrintRange(out);
  Param<bool>("g", "Flag", true, false, true, false).PrintRange(out);
  EXPECT_EQ(out.str(), "LogLevel=1\n[0..4][0..1]");
}

TEST(ParamCopy, CloneAndAssignCopyEveryField) {
  Param<unsigned> param("Format7", "width", 640, 8, 1280, 8);
  EXPECT_TRUE(param._enabled && !param._global && param._persistent && param._visible);
  param._value = 320;
  param._global = true;
  param._description = "help";
  param._options["Format"] = std::string("%u");
  param.ToString();

  std::unique_ptr<Param<unsigned>> clone(param.Clone());
  Param<unsigned> assigned("g", "other", 0, 0, 0, 0);
  EXPECT_EQ(&assigned.Assign(param), &assigned);
  for (const Param<unsigned>* copy : {clone.get(), &assigned}) {
    EXPECT_EQ(copy->_name + copy->_group + copy->_description + copy->GetOption("Format"), "widthFormat7help%u");
    EXPECT_TRUE(copy->_global);
    EXPECT_EQ((std::vector<unsigned>{copy->_value, copy->_min, copy->_max, copy->_step, copy->_defaultValue}),
              (std::vector<unsigned>{320, 8, 1280, 8, 640}));
    EXPECT_EQ(copy->_text, "320");
  }

  Param<int> other("C", "Other", 7, 0, 0, 0);
  EXPECT_THROW(assigned.Assign(other), std::bad_cast);
  EXPECT_EQ(assigned._name, "width");
}

TEST(ParamOptions, GetOptionRendersTheValueOrThrows) {
  Param<int> param("g", "Exposure", 0, 0, 0, 0);
  param._options["Digits"] = 3;
  param._options["Raw"] = std::vector<int>{};
  EXPECT_EQ(param.GetOption("Digits"), "3");
  EXPECT_THROW(param.GetOption("Raw"), boost::bad_any_cast);
  try {
    param.GetOption("Unit");
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Parameter Exposure doesn't have option Unit");
  }
}

}  // namespace
