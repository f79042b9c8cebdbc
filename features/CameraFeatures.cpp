// Reading every camera feature into parameters, and writing them all back
// after the settings file has had its say, in a fixed order: properties,
// video mode, Format7, strobe, trigger.
#include "camera/Camera.h"

bool Camera::GetFlySettings() {
  return GetFlyProperties() && GetFlyVideoMode() && GetFlyFormat7Configuration() && GetFlyStrobe() &&
         GetFlyTriggerMode();
}

bool Camera::LoadSettgins() {
  _parameters.Load();
  const bool written =
      SetFlyProperties() && SetFlyVideoMode() && SetFlyFormat7Configuration() && SetFlyStrobe() && SetFlyTriggerMode();
  if (!written) {
    WriteLog(_context, 1, "Camera::LoadSettgins: Failed to set camera settings, %s\n", Tag().c_str());
    return false;
  }
  return true;
}
