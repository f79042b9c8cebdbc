#include "params/ParameterAccess.h"

#include "params/DcamImageSizes.h"
#include "params/ParamEnum.h"

namespace vq {

namespace ParameterAccess {

namespace {

template <ParamValueType T>
T ValueOf(const CameraParameters& params, const std::string& name) {
  return dynamic_cast<const Param<T>&>(params.GetParam(name))._value;
}

// The value of a Param<unsigned>, 0 when the parameter is of another type.
unsigned UnsignedOrZero(const CameraParameters& params, const std::string& name) {
  const auto* typed = dynamic_cast<const Param<unsigned>*>(&params.GetParam(name));
  return typed == nullptr ? 0 : typed->_value;
}

}  // namespace

int GetLogLevel(const CameraParameters& params) { return ValueOf<int>(params, "LogLevel"); }

bool GetLogIntoFile(const CameraParameters& params) { return ValueOf<bool>(params, "LogIntoFile"); }

int GetDebugViewOutput(const CameraParameters& params) { return ValueOf<int>(params, "DebugViewOutput"); }

bool GetContinuous(const CameraParameters& params) { return ValueOf<bool>(params, "Continuous"); }

std::pair<unsigned, unsigned> GetImageSize(const CameraParameters& params) {
  const auto* videoMode = dynamic_cast<const ParamEnum*>(&params.GetParam("DCAMVideoMode"));
  if (videoMode == nullptr) return {0, 0};

  const int64_t mode = videoMode->GetValue();
  if (mode == Format7VideoMode) {
    const unsigned width = UnsignedOrZero(params, "width");
    return {width, UnsignedOrZero(params, "height")};
  }
  if (mode >= 0 && static_cast<size_t>(mode) < DcamImageSizeCount) {
    const DcamImageSize& size = DcamImageSizes[mode];
    return {size.width, size.height};
  }
  return {0, 0};
}

}  // namespace ParameterAccess

}  // namespace vq
