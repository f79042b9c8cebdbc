#include "params/Param.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <locale>
#include <sstream>

#include "params/ValueText.h"

namespace vq {

namespace {

// Per-type parse of FromString. Integers read as 64-bit and are saturated
// into their type; unsigned accepts both the signed 32-bit text of a value
// ("-1" is 4294967295) and its own unsigned text.
void ParseInto(const std::string& text, int64_t& value) { value = ParseDecimalInteger(text); }

void ParseInto(const std::string& text, int& value) {
  value = static_cast<int>(std::clamp<int64_t>(ParseDecimalInteger(text), std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max()));
}

void ParseInto(const std::string& text, unsigned& value) {
  const int64_t parsed = std::clamp<int64_t>(ParseDecimalInteger(text), std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<uint32_t>::max());
  value = static_cast<unsigned>(parsed);
}

void ParseInto(const std::string& text, bool& value) { value = ParseDecimalInteger(text) != 0; }

void ParseInto(const std::string& text, float& value) { value = ParseDecimalFloat(text); }

void ParseInto(const std::string& text, std::string& value) { value = text; }

// 17 significant digits, so that a float's text reads back to the same float.
template <class T>
std::string FormatValue(const T& value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(17);
  out << value;
  return out.str();
}

std::string FormatValue(const std::string& value) { return value; }

// The text parameter's value. Clang 14 instantiates constrained constructors
// of an explicitly instantiated class although their constraint is not met,
// so the text constructor must compile for every T; it is only ever called
// for std::string.
template <ParamValueType T>
T TextValue(const std::string& value) {
  if constexpr (std::same_as<T, std::string>) {
    return value;
  } else {
    return T{};
  }
}

}  // namespace

template <ParamValueType T>
Param<T>::Param(const std::string& group, const std::string& name, T value, T min, T max, T step)
  requires(!std::same_as<T, std::string>)
    : Param_(group, name, true), _value(value), _max(max), _min(min), _defaultValue(value), _step(step) {}

template <ParamValueType T>
Param<T>::Param(const std::string& group, const std::string& name, const std::string& value)
  requires std::same_as<T, std::string>
    : Param_(group, name, true),
      _value(TextValue<T>(value)),
      _max(TextValue<T>(value)),
      _min(TextValue<T>(value)),
      _defaultValue(TextValue<T>(value)) {}

template <ParamValueType T>
Param<T>& Param<T>::Assign(const Param_& other) {
  const Param& typed = dynamic_cast<const Param&>(other);
  Param_::Assign(typed);
  _value = typed._value;
  _max = typed._max;
  _min = typed._min;
  _defaultValue = typed._defaultValue;
  _step = typed._step;
  _text = typed._text;
  return *this;
}

template <ParamValueType T>
void Param<T>::FromString(const std::string& text, bool clamp) {
  ParseInto(text, _value);
  if (clamp) Clamp();
}

template <ParamValueType T>
const char* Param<T>::ToString() {
  _text = FormatValue(_value);
  return _text.c_str();
}

template <ParamValueType T>
bool Param<T>::IsValid() const {
  if (!(_min < _max)) return true;
  return _min <= _value && _value <= _max;
}

template <ParamValueType T>
void Param<T>::Print(std::ostream& out) const {
  out << _name << "=" << _value << "\n";
}

template <ParamValueType T>
void Param<T>::PrintRange(std::ostream& out) const {
  out << "[" << _min << ".." << _max << "]";
}

template <ParamValueType T>
Param<T>* Param<T>::Clone() const {
  return new Param(*this);
}

template <ParamValueType T>
void Param<T>::Clamp() {
  if (_value < _min) _value = _min;
  if (_value > _max) _value = _max;
}

template class Param<int>;
template class Param<unsigned>;
template class Param<float>;
template class Param<bool>;
template class Param<int64_t>;
template class Param<std::string>;

}  // namespace vq
