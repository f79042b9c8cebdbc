#pragma once
// Puts a group of parameters in or out of force by the label of one
// enumeration: in force while the enumeration's label equals the option text
// (or, inverted, while it differs).
#include <set>
#include <string>

#include "params/Constraint.h"

namespace vq {

class ConstraintEnumOff : public Constraint {
 public:
  ConstraintEnumOff(std::string controllingName, std::string optionText, bool invert, std::set<std::string> dependents);

  // Throws GetParam's std::runtime_error when the controlling parameter or a
  // dependent is absent.
  void Apply(CameraParameters& params) override;
  ConstraintEnumOff* Clone() const override;

 private:
  std::string _controllingName;
  std::string _optionText;
  bool _invert;
  std::set<std::string> _dependents;
};

}  // namespace vq
