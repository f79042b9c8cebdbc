#pragma once
// A parameter with a typed value, its range and step. Instantiated for the
// value types below only (the definitions are in Param.cpp).
#include <concepts>
#include <cstdint>
#include <ostream>
#include <string>

#include "params/Param_.h"

namespace vq {

template <class T>
concept ParamValueType = std::same_as<T, int> || std::same_as<T, unsigned> || std::same_as<T, float> ||
                         std::same_as<T, bool> || std::same_as<T, int64_t> || std::same_as<T, std::string>;

template <ParamValueType T>
class Param : public Param_ {
 public:
  // value and defaultValue take `value`. A step of 0 means none.
  Param(const std::string& group, const std::string& name, T value, T min, T max, T step)
    requires(!std::same_as<T, std::string>);
  // value, min, max and defaultValue all take `value`, so the range is never set.
  Param(const std::string& group, const std::string& name, const std::string& value)
    requires std::same_as<T, std::string>;
  Param(const Param&) = default;
  Param& operator=(const Param&) = delete;

  Param& Assign(const Param_& other) override;
  void FromString(const std::string& text, bool clamp) override;
  const char* ToString() override;
  // True when no range is set (min not below max), else min <= value <= max.
  bool IsValid() const override;
  void Print(std::ostream& out) const override;
  void PrintRange(std::ostream& out) const override;
  Param* Clone() const override;

  T _value;
  T _max;
  T _min;
  // The value given at construction.
  T _defaultValue;
  T _step;
  // The text of the last ToString.
  std::string _text;

 protected:
  // Raises a value below min to min, then lowers a value above max to max, so
  // with min above max the result is max.
  void Clamp();
};

extern template class Param<int>;
extern template class Param<unsigned>;
extern template class Param<float>;
extern template class Param<bool>;
extern template class Param<int64_t>;
extern template class Param<std::string>;

}  // namespace vq
