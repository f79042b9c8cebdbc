// Validation of a parameter set: its constraints bring it in line, then every
// parameter in force is checked against its range and step.
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>
#include <utility>

#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "params/Param.h"

namespace vq {

namespace {

// Why `param` is not acceptable; empty when it is.
std::string Problem(const Param_& param) {
  if (!param.IsValid()) {
    std::ostringstream text;
    text << param._group << ": " << param._name << ": out of range ";
    param.PrintRange(text);
    return text.str();
  }
  const auto* integer = dynamic_cast<const Param<int>*>(&param);
  // 64 bits, so that neither the difference nor the remainder can overflow.
  if (integer != nullptr && integer->_step != 0 && (int64_t{integer->_value} - integer->_min) % integer->_step != 0) {
    return param._group + ": " + param._name + ": must be multiple of " + std::to_string(integer->_step);
  }
  return {};
}

}  // namespace

void CameraParameters::ApplyConstraints() {
  try {
    for (Constraint& constraint : _constraints) constraint.Apply(*this);
  } catch (const std::exception& e) {
    WriteLog(GetDriverContext(), kLogError, "CameraParameters::Validate: Failed to apply constraints due: %s",
             e.what());
  }
}

bool CameraParameters::Validate(std::string& errorText) {
  ApplyConstraints();
  for (const Param_& param : _params) {
    if (!param._enabled || dynamic_cast<const Param<bool>*>(&param) != nullptr) continue;
    std::string problem = Problem(param);
    if (!problem.empty()) {
      errorText = std::move(problem);
      return false;
    }
  }
  return true;
}

}  // namespace vq
