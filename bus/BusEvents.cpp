// The SDK's bus-event callbacks. They run on a thread of the SDK's own, so
// nothing may escape them: a serial number that is not in the list is logged
// by the lookup and the event is otherwise dropped.
#include <ctime>
#include <exception>

#include "bus/CameraList.h"
#include "camera/Camera.h"
#include "log/DriverContext.h"
#include "log/TextException.h"

namespace vq {

namespace {

// The list the callback was registered with, or the single list when the
// host's simulated events call without one.
CameraList& ListOf(void* parameter) {
  return parameter ? *static_cast<CameraList*>(parameter) : CameraList::GetInstance();
}

// Handles one event on the SDK's thread. A lookup that finds nothing has
// logged why; anything else that fails is logged here. The event is dropped.
template <class Handle>
void HandleEvent(const char* event, Handle handle) noexcept {
  try {
    handle();
  } catch (const TextException&) {
    // logged where it was thrown
  } catch (const std::exception& e) {
    WriteLog(GetDriverContext(), kLogError, "CameraList::%s: ERROR: event dropped: %s\n", event, e.what());
  } catch (...) {
    WriteLog(GetDriverContext(), kLogError, "CameraList::%s: ERROR: event dropped\n", event);
  }
}

}  // namespace

void CameraList::OnBusReset(void* parameter, unsigned int serialNumber) {
  DriverThreadScope sdkEvent(DriverThread::kSdkEvent);
  HandleEvent("OnBusReset", [&] {
    CameraList& list = ListOf(parameter);
    list._busStats.busResetCount += 1;
    WriteLog(GetDriverContext(), kLogError, "BUS EVENT CALLBACK invoked, camera serial#:%d\n", serialNumber);
  });
}

void CameraList::OnBusArrival(void* parameter, unsigned int serialNumber) {
  DriverThreadScope sdkEvent(DriverThread::kSdkEvent);
  HandleEvent("OnBusArrival", [&] {
    CameraList& list = ListOf(parameter);
    list._busStats.arrivalCount += 1;
    WriteLog(GetDriverContext(), kLogError, "BUS EVENT CALLBACK - ARRIVAL - invoked, camera serial#:%d\n",
             serialNumber);
    if (serialNumber != 0) {
      // A camera seen for the first time joins the list.
      if (Camera* camera = list.FindBySerialNo(serialNumber))
        camera->Presence().MarkArrived();
      else
        list.AddArrivedCamera(serialNumber);
      // A reopen waiting out the removal's grace period may go now.
      list.WakeBusThread();
    }
  });
}

void CameraList::OnBusRemoval(void* parameter, unsigned int serialNumber) {
  DriverThreadScope sdkEvent(DriverThread::kSdkEvent);
  HandleEvent("OnBusRemoval", [&] {
    CameraList& list = ListOf(parameter);
    list._busStats.removalCount += 1;
    WriteLog(GetDriverContext(), kLogError, "BUS EVENT CALLBACK - REMOVAL - invoked, camera serial#:%d\n",
             serialNumber);
    if (serialNumber != 0) {
      Camera& camera = list.GetBySerialNo(serialNumber);
      camera.Presence().MarkRemoved(static_cast<int64_t>(std::time(nullptr)));
      // Only a camera the host has open is closed and reopened on its return.
      if (camera.HostOpen()) camera.State().AddRequest(ReqCameraCloseOpen);
    }
  });
}

}  // namespace vq
