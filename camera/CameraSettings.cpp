#include "camera/CameraSettings.h"

#include "features/FeatureTables.h"
#include "params/ParameterAccess.h"

namespace vq {

void CameraSettings::LoadFile(DriverContext* context) {
  _parameters.Load();
  context->logLevel = ParameterAccess::GetLogLevel(_parameters);
  context->logIntoFile = ParameterAccess::GetLogIntoFile(_parameters);
  context->debugView = 2;
}

void CameraSettings::PutBackOverCamera(bool reopening) {
  const bool restore = reopening && _inEffect;
  if (restore) _parameters.Restore(*_inEffect);
  _parameters.Load();
  if (restore) _parameters.Restore(*_inEffect, IsGeometryParameter);
}

}  // namespace vq
