#include "params/ParamEnum.h"

#include <algorithm>
#include <stdexcept>

#include "params/ValueText.h"

namespace vq {

ParamEnum::ParamEnum(const std::string& group, const std::string& name, const std::string& label)
    : Param<std::string>(group, name, label) {}

void ParamEnum::FromString(const std::string& text, bool clamp) {
  if (_numeric) {
    // Read at full width so that every value ToString writes selects its option again.
    SelectByValue(ParseDecimalInteger(text));
  } else {
    _value = text;
  }
  if (clamp) Clamp();
}

const char* ParamEnum::ToString() {
  _text = _numeric ? std::to_string(GetValue()) : _value;
  return _text.c_str();
}

bool ParamEnum::IsValid() const { return std::find(_labels.begin(), _labels.end(), _value) != _labels.end(); }

ParamEnum* ParamEnum::Clone() const { return new ParamEnum(*this); }

size_t ParamEnum::AddOption(const char* label, int64_t value) {
  if (label == nullptr || *label == '\0') return 0;
  _labels.emplace_back(label);
  _values.push_back(value);
  if (_labels.size() == 1) _value = _labels.front();
  return _labels.size();
}

size_t ParamEnum::AddOption(const std::string& label, int64_t value) { return AddOption(label.c_str(), value); }

int64_t ParamEnum::GetValueOf(const std::string& label) const {
  if (label.empty()) return 0;
  const auto found = std::find(_labels.begin(), _labels.end(), label);
  return found == _labels.end() ? 0 : _values[static_cast<size_t>(found - _labels.begin())];
}

int64_t ParamEnum::GetValue() const { return GetValueOf(_value); }

void ParamEnum::SelectByValue(int64_t value) {
  const auto found = std::find(_values.begin(), _values.end(), value);
  if (found != _values.end()) _value = _labels[static_cast<size_t>(found - _values.begin())];
}

void ParamEnum::ClearOptions() {
  _labels.clear();
  _values.clear();
}

size_t ParamEnum::OptionCount() const { return _labels.size(); }

std::pair<std::string, int64_t> ParamEnum::GetOptionAt(size_t index) const {
  if (index >= _labels.size()) {
    throw std::out_of_range("ParamEnum::GetOptionAt: Parameter '" + _name + "' has no option " + std::to_string(index));
  }
  return {_labels[index], _values[index]};
}

}  // namespace vq
