#pragma once
// Typed reads and writes of a parameter's value for the control adapters. A
// parameter is accepted when it is a Param<T> or derived from one (so a
// ParamEnum passes as a Param<std::string>); any other raises
// WrongParameterType.
#include "params/Param.h"
#include "ui/WrongParameterType.h"

namespace vq {

template <ParamValueType T>
const T& ReadParamValue(const Param_& param) {
  const auto* typed = dynamic_cast<const Param<T>*>(&param);
  if (!typed) throw WrongParameterType(param._name);
  return typed->_value;
}

template <ParamValueType T>
void WriteParamValue(Param_& param, const T& value) {
  auto* typed = dynamic_cast<Param<T>*>(&param);
  if (!typed) throw WrongParameterType(param._name);
  typed->_value = value;
}

}  // namespace vq
