#pragma once
// A choice among labelled options, each with a 64-bit value. The string value
// is the label of the selected option.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "params/Param.h"

namespace vq {

class ParamEnum : public Param<std::string> {
 public:
  // `label` becomes the value and both bounds.
  ParamEnum(const std::string& group, const std::string& name, const std::string& label);
  ParamEnum(const ParamEnum&) = default;

  // Numeric: the text is an option's value and selects that option (no match
  // leaves the selection). Otherwise the text becomes the label. With `clamp`
  // the string clamp follows.
  void FromString(const std::string& text, bool clamp) override;
  // Numeric: the selected option's value in decimal; otherwise the label.
  const char* ToString() override;
  // The label is one of the options.
  bool IsValid() const override;
  // Copies the options and `_numeric` too.
  ParamEnum* Clone() const override;

  // Appends an option; a null or empty label adds nothing and returns 0. The
  // first option added becomes the selection. Returns the number of options.
  size_t AddOption(const char* label, int64_t value);
  size_t AddOption(const std::string& label, int64_t value);
  // The value of the first option labelled exactly `label`; 0 when none is.
  int64_t GetValueOf(const std::string& label) const;
  // The value of the selected option.
  int64_t GetValue() const;
  // Selects the first option with `value`; no match leaves the selection.
  void SelectByValue(int64_t value);
  // Removes every option; the label stays.
  void ClearOptions();
  size_t OptionCount() const;
  // Label and value of the option at a 0-based index; std::out_of_range past the end.
  std::pair<std::string, int64_t> GetOptionAt(size_t index) const;

  std::vector<std::string> _labels;
  std::vector<int64_t> _values;
  // The text form (settings file) is the option's value instead of its label.
  bool _numeric = true;
};

}  // namespace vq
