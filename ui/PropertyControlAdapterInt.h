#pragma once
// Param<int>, Param<unsigned> and Param<int64_t> as integer items of the same
// width; the parameter's "Format" option, when it has one, is the display format.
#include <cstdint>

#include "ui/PropertyControlAdapter.h"

namespace vq {

template <class T>
class PropertyControlAdapterInt : public PropertyControlAdapter {
 public:
  HITEM CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) override;
  void SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) override;
  void GetControl(Param_& param, CPropertyGrid& grid, HITEM item) override;
};

extern template class PropertyControlAdapterInt<int>;
extern template class PropertyControlAdapterInt<unsigned>;
extern template class PropertyControlAdapterInt<int64_t>;

}  // namespace vq
