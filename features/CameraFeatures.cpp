// Reading every camera feature into parameters, and writing them all back
// after the settings file has had its say, in a fixed order: properties,
// video mode, Format7, strobe, trigger.
#include "features/CameraFeatures.h"

namespace vq {

CameraFeatures::CameraFeatures(FlyCapture2::Camera& flyCamera, CameraParameters& parameters, CameraModes& modes,
                               std::function<std::string()> tag)
    : _flyCamera(&flyCamera),
      _parameters(parameters),
      _modes(modes),
      _tag(std::move(tag)),
      _context(GetDriverContext()) {}

bool CameraFeatures::GetFlySettings() {
  return GetFlyProperties() && GetFlyVideoMode() && GetFlyFormat7Configuration() && GetFlyStrobe() &&
         GetFlyTriggerMode();
}

bool CameraFeatures::LoadSettgins() {
  _parameters.Load();
  const bool written =
      SetFlyProperties() && SetFlyVideoMode() && SetFlyFormat7Configuration() && SetFlyStrobe() && SetFlyTriggerMode();
  if (!written) {
    WriteLog(_context, kLogError, "Camera::LoadSettgins: Failed to set camera settings, %s\n", Tag().c_str());
    // A value the host set that the camera refuses would fail every later
    // open as well, and the host cannot change it on a camera that is not
    // open: the next open goes back to the settings file and the camera.
    if (_parameters.ForgetHostValues())
      WriteLog(_context, kLogError, "Camera::LoadSettgins: WARNING: values set by the host dropped, %s\n",
               Tag().c_str());
    return false;
  }
  return true;
}

}  // namespace vq
