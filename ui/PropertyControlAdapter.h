#pragma once
// Joins a parameter type to a kind of grid item: creates the item for a
// parameter, writes the parameter's value into it and reads it back. Adapters
// hold no state; one instance of each serves every parameter and dialog.
// Failures are exceptions: WrongParameterType for a parameter of another
// type, std::runtime_error when the grid refuses or cannot deliver a value.
#include <QString>
#include <string>

#include "params/Param_.h"
#include "ui/CPropertyGrid.h"

namespace vq {

class PropertyControlAdapter {
 public:
  virtual ~PropertyControlAdapter();

  // Adds an item named after the parameter to `section`, with its value and
  // enabled as the parameter is; returns the item.
  virtual HITEM CreateControl(const Param_& param, CPropertyGrid& grid, HSECTION section) = 0;
  // Writes the parameter's value into the item.
  virtual void SetControl(const Param_& param, CPropertyGrid& grid, HITEM item) = 0;
  // Stores the item's value as the parameter's, without clamping or validation.
  virtual void GetControl(Param_& param, CPropertyGrid& grid, HITEM item) = 0;

 protected:
  static QString NameOf(const Param_& param);
  // The parameter's "Format" option, or the empty text for the grid's default.
  static QString FormatOf(const Param_& param);
  // "Failed to set control '<name>' value" unless `done`.
  static void CheckSet(bool done, const Param_& param);
  // "Failed to get control '<name>' value" unless `done`.
  static void CheckGet(bool done, const Param_& param);
};

}  // namespace vq
