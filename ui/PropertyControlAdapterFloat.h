#pragma once
// Param<float> as a floating-point item; the parameter's "Format" option, when
// it has one, is the display format.
#include "ui/PropertyControlAdapter.h"

namespace vq {

class PropertyControlAdapterFloat : public PropertyControlAdapter {
 public:
  HITEM CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) override;
  void SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) override;
  // A value beyond the float range is stored as the largest float of its sign.
  void GetControl(Param_& param, CPropertyGrid& grid, HITEM item) override;
};

}  // namespace vq
