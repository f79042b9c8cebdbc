#include "params/ParamEnum.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>

using namespace vq;

namespace {

class ParamEnumTest : public ::testing::Test {
 protected:
  ParamEnumTest() : _enum("DCAM Formats", "Mode", "") {
    _enum.AddOption("A", 1);
    _enum.AddOption("B", 2);
  }
  ParamEnum _enum;
};

TEST_F(ParamEnumTest, FirstOptionBecomesTheSelection) {
  EXPECT_EQ(_enum._value, "A");
  EXPECT_EQ(_enum.GetValue(), 1);
  EXPECT_EQ(_enum.OptionCount(), 2u);
  EXPECT_EQ(_enum.AddOption("", 9), 0u);
  EXPECT_EQ(_enum.AddOption(static_cast<const char*>(nullptr), 9), 0u);
  EXPECT_EQ(_enum.OptionCount(), 2u);
  EXPECT_EQ(_enum.AddOption(std::string("C"), 2), 3u);
  EXPECT_EQ(_enum._value, "A");
}

TEST_F(ParamEnumTest, NumericTextSelectsByValue) {
  _enum.FromString("2", false);
  EXPECT_EQ(_enum._value, "B");
  _enum.FromString("5", false);
  EXPECT_EQ(_enum._value, "B");
  EXPECT_STREQ(_enum.ToString(), "2");
}

TEST_F(ParamEnumTest, ValuesBeyondThirtyTwoBitsReadBack) {
  _enum.AddOption("Mono8", 2147483648);
  _enum.SelectByValue(2147483648);
  const std::string text = _enum.ToString();
  EXPECT_EQ(text, "2147483648");
  _enum.SelectByValue(1);
  _enum.FromString(text, false);
  EXPECT_EQ(_enum._value, "Mono8");
}

TEST_F(ParamEnumTest, LabelTextWhenNotNumeric) {
  _enum._numeric = false;
  EXPECT_STREQ(_enum.ToString(), "A");
  _enum.FromString("Z", false);
  EXPECT_EQ(_enum._value, "Z");
  EXPECT_FALSE(_enum.IsValid());
  EXPECT_EQ(_enum.GetValue(), 0);
}

TEST_F(ParamEnumTest, LookupIsExactAndFirstMatch) {
  _enum.AddOption("A", 7);
  EXPECT_EQ(_enum.GetValueOf("A"), 1);
  EXPECT_EQ(_enum.GetValueOf("a"), 0);
  EXPECT_EQ(_enum.GetValueOf(""), 0);
  _enum.AddOption("D", 2);
  _enum.SelectByValue(2);
  EXPECT_EQ(_enum._value, "B");
  EXPECT_EQ(_enum.GetOptionAt(1), std::make_pair(std::string("B"), int64_t{2}));
  EXPECT_THROW(_enum.GetOptionAt(4), std::out_of_range);
}

TEST_F(ParamEnumTest, ClearOptionsKeepsTheLabelWhichIsThenInvalid) {
  _enum.SelectByValue(2);
  EXPECT_TRUE(_enum.IsValid());
  _enum.ClearOptions();
  EXPECT_EQ(_enum._value, "B");
  EXPECT_EQ(_enum.OptionCount(), 0u);
  EXPECT_FALSE(_enum.IsValid());
  EXPECT_EQ(_enum.GetValue(), 0);
}

TEST_F(ParamEnumTest, CloneCopiesOptionsButAssignDoesNot) {
  _enum._numeric = false;
  std::unique_ptr<ParamEnum> clone(_enum.Clone());
  EXPECT_EQ(clone->_labels, _enum._labels);
  EXPECT_EQ(clone->_values, _enum._values);
  EXPECT_FALSE(clone->_numeric);

  ParamEnum target("g", "Other", "");
  target.Assign(_enum);
  EXPECT_EQ(target._name, "Mode");
  EXPECT_EQ(target._value, "A");
  EXPECT_EQ(target.OptionCount(), 0u);
  EXPECT_TRUE(target._numeric);
}

TEST_F(ParamEnumTest, PrintsTheLabelAndStringBounds) {
  std::ostringstream out;
  _enum.Print(out);
  _enum.PrintRange(out);
  EXPECT_EQ(out.str(), "Mode=A\n[..]");
}

}  // namespace
