#include "ui/PropertyControlAdapterEnum.h"

#include "ui/WrongParameterType.h"

namespace vq {

namespace {

const ParamEnum& AsEnum(const Param_& param) {
  const auto* typed = dynamic_cast<const ParamEnum*>(&param);
  if (!typed) throw WrongParameterType(param._name);
  return *typed;
}

}  // namespace

std::pair<QStringList, int64_t> PropertyControlAdapterEnum::Options(const ParamEnum& param) {
  QStringList labels;
  int64_t selected = 0;
  const int64_t value = param.GetValue();
  for (size_t i = 0; i < param.OptionCount(); ++i) {
    const auto [label, optionValue] = param.GetOptionAt(i);
    labels.append(QString::fromStdString(label));
    if (optionValue == value) selected = static_cast<int64_t>(i);
  }
  return {labels, selected};
}

HITEM PropertyControlAdapterEnum::CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) {
  const auto [labels, selected] = Options(AsEnum(param));
  return grid.AddComboItem(section, NameOf(param), labels, selected, param._enabled);
}

void PropertyControlAdapterEnum::SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) {
  const auto [labels, selected] = Options(AsEnum(param));
  CheckSet(grid.SetItemOptions(item, labels), param);
  CheckSet(grid.SetItemValue(item, selected), param);
}

}  // namespace vq
