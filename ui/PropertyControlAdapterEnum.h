#pragma once
// ParamEnum as a list item: its option labels, with the option whose value is
// the enumeration's value selected (the last such option; the first option
// when none is). Reading back stores the selected label, as the string
// adapter does.
#include <cstdint>
#include <utility>

#include "params/ParamEnum.h"
#include "ui/PropertyControlAdapterString.h"

namespace vq {

class PropertyControlAdapterEnum : public PropertyControlAdapterString {
 public:
  HITEM CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) override;
  // Replaces the item's labels (a constraint may have rebuilt them), then its selection.
  void SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) override;

  // The labels in option order and the index to select.
  static std::pair<QStringList, int64_t> Options(const ParamEnum& param);
};

}  // namespace vq
