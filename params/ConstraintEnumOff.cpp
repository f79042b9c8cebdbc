#include "params/ConstraintEnumOff.h"

#include <utility>

#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "params/ParamEnum.h"

namespace vq {

ConstraintEnumOff::ConstraintEnumOff(std::string controllingName, std::string optionText, bool invert,
                                     std::set<std::string> dependents)
    : _controllingName(std::move(controllingName)),
      _optionText(std::move(optionText)),
      _invert(invert),
      _dependents(std::move(dependents)) {}

void ConstraintEnumOff::Apply(CameraParameters& params) {
  const auto* controlling = dynamic_cast<const ParamEnum*>(&params.GetParam(_controllingName));
  if (controlling == nullptr) {
    WriteLog(GetDriverContext(), kLogError, "ConstraintEnumOff::Apply: Parameter '%s' is not enumeration\n",
             _controllingName.c_str());
    return;
  }
  const bool matches = controlling->_value == _optionText;
  const bool inForce = _invert ? !matches : matches;
  for (const std::string& name : _dependents) params.GetParam(name)._enabled = inForce;
}

ConstraintEnumOff* ConstraintEnumOff::Clone() const { return new ConstraintEnumOff(*this); }

}  // namespace vq
