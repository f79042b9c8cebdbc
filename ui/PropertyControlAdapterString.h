#pragma once
// Param<std::string> as a text item.
#include "ui/PropertyControlAdapter.h"

namespace vq {

class PropertyControlAdapterString : public PropertyControlAdapter {
 public:
  HITEM CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) override;
  void SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) override;
  // The item's text becomes the value; for a list item, its selected label.
  void GetControl(Param_& param, CPropertyGrid& grid, HITEM item) override;
};

}  // namespace vq
