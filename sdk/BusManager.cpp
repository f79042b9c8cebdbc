#include "sdk/Backend.h"

namespace FlyCapture2 {

BusManager::BusManager() = default;
BusManager::~BusManager() = default;

Error BusManager::GetNumOfCameras(unsigned int* numCameras) {
  if (!numCameras) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null count pointer.");
  return detail::GetBackend().GetNumOfCameras(numCameras);
}

Error BusManager::GetCameraFromIndex(unsigned int index, PGRGuid* guid) {
  if (!guid) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null guid pointer.");
  return detail::GetBackend().GetCameraFromIndex(index, guid);
}

Error BusManager::GetCameraFromSerialNumber(unsigned int serialNumber, PGRGuid* guid) {
  if (!guid) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null guid pointer.");
  return detail::GetBackend().GetCameraFromSerialNumber(serialNumber, guid);
}

Error BusManager::FireBusReset(PGRGuid* guid) {
  if (!guid) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null guid pointer.");
  return detail::GetBackend().FireBusReset(*guid);
}

Error BusManager::RegisterCallback(BusEventCallback callback, BusCallbackType type, void* parameter,
                                   CallbackHandle* handle) {
  if (!callback || !handle) return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Null callback or handle pointer.");
  return detail::GetBackend().RegisterCallback(callback, type, parameter, handle);
}

Error BusManager::UnregisterCallback(CallbackHandle handle) { return detail::GetBackend().UnregisterCallback(handle); }

}  // namespace FlyCapture2
