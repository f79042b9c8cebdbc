#include "ui/PropertyControlAdapterFloat.h"

#include <cmath>
#include <limits>

#include "ui/ParamValueAccess.h"

namespace vq {

namespace {

float ToFloat(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (std::isfinite(value) && std::fabs(value) > kLargest) return value > 0 ? kLargest : -kLargest;
  return static_cast<float>(value);
}

}  // namespace

HITEM PropertyControlAdapterFloat::CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) {
  return grid.AddDoubleItem(section, NameOf(param), static_cast<double>(ReadParamValue<float>(param)), FormatOf(param),
                            param._enabled);
}

void PropertyControlAdapterFloat::SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) {
  CheckSet(grid.SetItemValue(item, static_cast<double>(ReadParamValue<float>(param))), param);
}

void PropertyControlAdapterFloat::GetControl(Param_& param, CPropertyGrid& grid, HITEM item) {
  double value = 0;
  CheckGet(grid.GetItemValue(item, value), param);
  WriteParamValue<float>(param, ToFloat(value));
}

}  // namespace vq
