#pragma once
// The typed reads and writes a Camera performs on its parameter set. Camera
// delegates its members of the same names here; the exception texts name the
// Camera operation because that is what callers see.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "params/CameraParameters.h"
#include "params/Param.h"
#include "params/ParamGroupTable.h"

namespace vq {

namespace ParameterAccess {

// The value of a Param<T> (or of a parameter derived from one).
// std::out_of_range when the name is absent, std::runtime_error when the
// parameter is of another type.
template <ParamValueType T>
T GetParameter(const CameraParameters& params, const std::string& name) {
  const Param_* param = params.FindParam(name);
  if (param == nullptr) throw std::out_of_range("Camera::GetParameter: Parameter '" + name + "' does not exist");
  const auto* typed = dynamic_cast<const Param<T>*>(param);
  if (typed == nullptr) {
    throw std::runtime_error("Camera::GetParameter: Paramter '" + name + "' accessed by wrong type");
  }
  return typed->_value;
}

// Creates a Param<T> with the given range (no step, group from
// ParamGroupTable) when the name is absent. Otherwise sets only the value of
// the existing Param<T>: range and step stay, nothing is clamped or validated.
// std::runtime_error when the existing parameter is of another type.
template <ParamValueType T>
void SetParameter(CameraParameters& params, const std::string& name, T value, T min, T max) {
  Param_* param = params.FindParam(name);
  if (param == nullptr) {
    params.AddParam(new Param<T>(LookupParamGroup(name), name, value, min, max, T{}));
    return;
  }
  auto* typed = dynamic_cast<Param<T>*>(param);
  if (typed == nullptr) {
    throw std::runtime_error("Camera::SetParameter: Parameter '" + name + "' accessed by wrong type");
  }
  typed->_value = value;
}

// The driver's own parameters. An absent one throws GetParam's
// std::runtime_error, one of another type std::bad_cast.
int GetLogLevel(const CameraParameters& params);
bool GetLogIntoFile(const CameraParameters& params);
int GetDebugViewOutput(const CameraParameters& params);
bool GetContinuous(const CameraParameters& params);

// (width, height) of a frame in the selected video mode: the DCAM mode's size,
// or the "width" and "height" parameters for Format7; (0, 0) when the video
// mode is not an enumeration or not a known mode. An absent "DCAMVideoMode",
// or "width" / "height" under Format7, throws GetParam's std::runtime_error.
std::pair<unsigned, unsigned> GetImageSize(const CameraParameters& params);

}  // namespace ParameterAccess

}  // namespace vq
