#include "ui/PropertyControlAdapterBool.h"

#include "ui/ParamValueAccess.h"

namespace vq {

HITEM PropertyControlAdapterBool::CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) {
  return grid.AddBoolItem(section, NameOf(param), ReadParamValue<bool>(param), param._enabled);
}

void PropertyControlAdapterBool::SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) {
  CheckSet(grid.SetItemValue(item, ReadParamValue<bool>(param)), param);
}

void PropertyControlAdapterBool::GetControl(Param_& param, CPropertyGrid& grid, HITEM item) {
  bool value = false;
  CheckGet(grid.GetItemValue(item, value), param);
  WriteParamValue<bool>(param, value);
}

}  // namespace vq
