#include "ui/PropertyControlAdapterString.h"

#include <string>

#include "ui/ParamValueAccess.h"

namespace vq {

HITEM PropertyControlAdapterString::CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) {
  return grid.AddStringItem(section, NameOf(param), QString::fromStdString(ReadParamValue<std::string>(param)),
                            param._enabled);
}

void PropertyControlAdapterString::SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) {
  CheckSet(grid.SetItemValue(item, QString::fromStdString(ReadParamValue<std::string>(param))), param);
}

void PropertyControlAdapterString::GetControl(Param_& param, CPropertyGrid& grid, HITEM item) {
  QString text;
  CheckGet(grid.GetItemValue(item, text), param);
  WriteParamValue<std::string>(param, text.toStdString());
}

}  // namespace vq
