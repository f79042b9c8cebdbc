#pragma once
// Param<bool> as a boolean item (a drop-down of the grid's true and false texts).
#include "ui/PropertyControlAdapter.h"

namespace vq {

class PropertyControlAdapterBool : public PropertyControlAdapter {
 public:
  HITEM CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) override;
  void SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) override;
  void GetControl(Param_& param, CPropertyGrid& grid, HITEM item) override;
};

}  // namespace vq
