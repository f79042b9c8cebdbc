#include "ui/PropertyControlAdapterInt.h"

#include "ui/ParamValueAccess.h"

namespace vq {

template <class T>
HITEM PropertyControlAdapterInt<T>::CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) {
  return grid.AddIntegerItem(section, NameOf(param), ReadParamValue<T>(param), FormatOf(param), param._enabled);
}

template <class T>
void PropertyControlAdapterInt<T>::SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) {
  CheckSet(grid.SetItemValue(item, ReadParamValue<T>(param)), param);
}

template <class T>
void PropertyControlAdapterInt<T>::GetControl(Param_& param, CPropertyGrid& grid, HITEM item) {
  T value{};
  CheckGet(grid.GetItemValue(item, value), param);
  WriteParamValue<T>(param, value);
}

template class PropertyControlAdapterInt<int>;
template class PropertyControlAdapterInt<unsigned>;
template class PropertyControlAdapterInt<int64_t>;

}  // namespace vq
