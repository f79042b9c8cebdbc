#pragma once
// The typed reads and writes a Camera performs on its parameter set. Camera
// delegates its members of the same names here; the exception texts name the
// Camera operation because that is what callers see.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "params/CameraParameters.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
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

// T, const when P is.
template <class P, class T>
using LikeConst = std::conditional_t<std::is_const_v<P>, const T, T>;

// Calls `visit` with `param` as the type it is: Param<int>, Param<unsigned>,
// Param<int64_t>, Param<float>, Param<bool> or ParamEnum (const when `param`
// is). False, without a call, for a parameter of any other type.
template <class P, class Visit>
bool VisitIntegerParam(P& param, Visit&& visit) {
  if (auto* p = dynamic_cast<LikeConst<P, Param<int>>*>(&param)) return visit(*p), true;
  if (auto* p = dynamic_cast<LikeConst<P, Param<unsigned>>*>(&param)) return visit(*p), true;
  if (auto* p = dynamic_cast<LikeConst<P, Param<int64_t>>*>(&param)) return visit(*p), true;
  if (auto* p = dynamic_cast<LikeConst<P, Param<float>>*>(&param)) return visit(*p), true;
  if (auto* p = dynamic_cast<LikeConst<P, Param<bool>>*>(&param)) return visit(*p), true;
  if (auto* p = dynamic_cast<LikeConst<P, ParamEnum>*>(&param)) return visit(*p), true;
  return false;
}

// One function object from several lambdas, for VisitIntegerParam.
template <class... Lambdas>
struct Overloaded : Lambdas... {
  using Lambdas::operator()...;
};
template <class... Lambdas>
Overloaded(Lambdas...) -> Overloaded<Lambdas...>;

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
