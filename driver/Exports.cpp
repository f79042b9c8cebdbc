// The eighteen entry points of the CVL driver interface. Each is a thin
// boundary: a log line, a lookup in the camera list, a call to the camera,
// and a catch-all that turns any exception into a logged failure, so that
// nothing ever escapes into the host.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "bus/CameraList.h"
#include "camera/Camera.h"
#include "include/VorquellCamera.h"
#include "log/DriverContext.h"
#include "platform/Clock.h"
#include "ui/ConfigureDialog.h"

using namespace vq;

namespace {

constexpr const char* kVersion = "1,1,0,19";
constexpr int kGrabbers = 1;
constexpr int kPorts = 20;

bool IsUndefinedCameraName(const char* name) {
  return !name || !*name || strcasecmp(name, "Undefined") == 0 || strcasecmp(name, "Udefinert") == 0;
}

const char* Shown(const char* text) { return text ? text : "(null)"; }

}  // namespace

extern "C" {

int initialize(const char* systemPath, DebugMsgProc proc) {
  DriverContext* context = GetDriverContext();
  try {
    if (systemPath && *systemPath) context->SetSystemPath(systemPath);
    context->debugMsgProc = proc;
    WriteLog(context, kLogInfo, "===============initialize: \n");
    // A list that could not be set up (an empty bus) is logged by Init and
    // lists no camera; the host learns that from the count.
    if (context->refcount == 0) CameraList::GetInstance().Init();
    int32_t count = ++context->refcount;
    std::tm now = vq::LocalTime(std::time(nullptr));
    WriteLog(context, kLogError, "initialize: Vorquell camera driver V%s, refcount=%d, %d-%d-%d %d:%d:%d\n", kVersion,
             count, now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    return 1;
  } catch (...) {
    WriteLog(context, kLogError, "initialize: Vorquell camera driver -- EXCEPTION occured\n");
    return 0;
  }
}

int finalize(void) {
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogInfo, "finalize: entering, refcount=%d\n", context->refcount.load());
    // Inside a callback the driver is in the middle of a call of its own (on
    // a grab thread, the bus thread or a host thread whose call logs): the
    // teardown would wait for that call, or free what it uses.
    if (OnDriverThread() || InHostCallback()) {
      WriteLog(context, kLogError, "finalize: ERROR: refused inside a callback of the driver, refcount=%d\n",
               context->refcount.load());
      return 0;
    }
    int32_t count = context->refcount.load();
    do {
      if (count <= 0) {
        WriteLog(context, kLogError, "finalize: WARNING: not initialized, refcount=%d\n", count);
        return 0;
      }
    } while (!context->refcount.compare_exchange_weak(count, count - 1));
    count -= 1;
    if (count == 0) CameraList::DeleteInstance();
    WriteLog(context, kLogInfo, "finalize: leaving, refcount=%d\n", count);
    return 1;
  } catch (...) {
    WriteLog(context, kLogError, "finalize: --EXCEPTION occured \n");
    return 0;
  }
}

int setSystemPath(const char* path) {
  if (!path || !*path) return 0;
  GetDriverContext()->SetSystemPath(path);
  return 1;
}

void setDebugMsgProc(DebugMsgProc proc) { GetDriverContext()->debugMsgProc = proc; }

int getCVLMaxNoOfGrabbers(void) { return kGrabbers; }

int getCVLMaxNoOfPorts(void) { return kPorts; }

// The list is built on first use; should that ever fail, the host still gets
// a valid, empty answer rather than an exception.
const char** getCVLCameraConfigNames(void) {
  static const char* noNames[] = {nullptr};
  try {
    return CameraList::GetInstance().ConfigNames();
  } catch (...) {
    return noNames;
  }
}

int getCVLNoOfSupportedCameras(void) {
  try {
    return CameraList::GetInstance().Count();
  } catch (...) {
    return 0;
  }
}

int openCVLPort(int grabberNo, int portNo, const char* cameraName, int imageSize[2]) {
  DriverContext* context = GetDriverContext();
  try {
    imageSize[0] = 0;
    imageSize[1] = 0;
    WriteLog(context, kLogInfo, "openCVLPort: entering grabberNo=%d, portNo=%d, cameraName=%s\n", grabberNo, portNo,
             Shown(cameraName));
    if (IsUndefinedCameraName(cameraName)) {
      WriteLog(context, kLogError, "openCVLPort: ERROR: undefined camera, grabberNo=%d, portNo=%d, cameraName=%s\n",
               grabberNo, portNo, Shown(cameraName));
      return 0;
    }
    CameraList& list = CameraList::GetInstance();
    if (!list.IsCameraAvailable(cameraName)) {
      WriteLog(context, kLogError, "openCVLPort: ERROR: cannot find camera by name:%s\n", cameraName);
      return 0;
    }
    Camera& camera = list.GetByName(cameraName);
    list.ReleasePort(portNo, camera);
    if (camera.Open(portNo, imageSize)) {
      WriteLog(context, kLogInfo, "openCVLPort: leaving -- Camera %s OPENED on port %d\n", camera.Name().c_str(),
               portNo);
      return 1;
    }
    WriteLog(context, kLogError, "openCVLPort: ERROR: camera not opened, grabberNo=%d, portNo=%d, cameraName=%s\n",
             grabberNo, portNo, cameraName);
    return 0;
  } catch (...) {
    WriteLog(context, kLogError, "openCVLPort: --EXCEPTION caught grabberNo=%d, portNo=%d, cameraName=%s\n", grabberNo,
             portNo, Shown(cameraName));
    return 0;
  }
}

void closeCVLPort(int grabberNo, int portNo) {
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogInfo, "closeCVLPort: entering grabberNo=%d, portNo=%d\n", grabberNo, portNo);
    CameraList::GetInstance().GetByPort(portNo).Close();
  } catch (...) {
    WriteLog(context, kLogError, "closeCVLPort: --EXCEPTION caught  grabberNo=%d, portNo=%d\n", grabberNo, portNo);
  }
  WriteLog(context, kLogInfo, "closeCVLPort: leaving grabberNo=%d, portNo=%d\n", grabberNo, portNo);
}

int doCVLGrab(int grabberNo, int portNo) {
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogDetail, "doCVLGrab entering grabberNo=%d portNo=%d\n", grabberNo, portNo);
    if (!CameraList::GetInstance().GetByPort(portNo).Grab()) return 0;
    WriteLog(context, kLogDetail, "doCVLGrab: leaving grabberNo=%d portNo=%d\n", grabberNo, portNo);
    return 1;
  } catch (...) {
    WriteLog(context, kLogError, "doCVLGrab: --EXCEPTION caught  grabberNo=%d portNo=%d\n", grabberNo, portNo);
    return 0;
  }
}

namespace {

// getCVLGrabRow with its per-row trace, apart from the untraced pull.
[[gnu::noinline]] int TracedGrabRow(DriverContext* context, int grabberNo, int portNo, unsigned char* dest, int row,
                                    int firstPixel, int lastPixel) {
  WriteLog(context, kLogRow, "getCVLGrabRow: entering row=%d  grabberNo=%d  portNo=%d\n", row, grabberNo, portNo);
  if (!CameraList::GetInstance().GetByPort(portNo).CopyRow(row, dest, firstPixel, lastPixel)) return 0;
  WriteLog(context, kLogRow, "getCVLGrabRow: leaving row=%d  grabberNo=%d  portNo=%d\n", row, grabberNo, portNo);
  return 1;
}

}  // namespace

int getCVLGrabRow(int grabberNo, int portNo, unsigned char* dest, int row, int firstPixel, int lastPixel) {
  DriverContext* context = GetDriverContext();
  try {
    // The host calls this for every row: untraced, it is the pull alone.
    if (WillLog(context, kLogRow)) return TracedGrabRow(context, grabberNo, portNo, dest, row, firstPixel, lastPixel);
    return CameraList::GetInstance().GetByPort(portNo).CopyRow(row, dest, firstPixel, lastPixel) ? 1 : 0;
  } catch (...) {
    WriteLog(context, kLogError, "getCVLGrabRow: --EXCEPTION caught \n");
    return 0;
  }
}

int setCompleteCallback(int grabberNo, int portNo, CompleteCallback callback) {
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogInfo, "setCompleteCallback: entering grabberNo=%d   portNo=%d\n", grabberNo, portNo);
    const bool replaced = CameraList::GetInstance().GetByPort(portNo).SetCompleteCB(callback);
    WriteLog(context, kLogInfo, "setCompleteCallback: leaving grabberNo=%d   portNo=%d\n", grabberNo, portNo);
    return replaced ? 1 : 0;
  } catch (...) {
    WriteLog(context, kLogError, "setCompleteCallback: --EXCEPTION caught \n");
    return 0;
  }
}

int setHWTrigger(void) {
  try {
    WriteLog(GetDriverContext(), kLogInfo, "setHWTrigger: ");
    return 1;
  } catch (...) {
    WriteLog(GetDriverContext(), kLogError, " setHWTrigger: --EXCEPTION caught \n");
    return 1;
  }
}

int getProperty(int grabberNo, int portNo, const char* prop, int* value) {
  (void)grabberNo;
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogDetail, "getProperty: portNo=%d, prop=%s\n", portNo, Shown(prop));
    if (!prop || !value) return 0;
    return CameraList::GetInstance().GetByPort(portNo).GetProperty(prop, value) ? 1 : 0;
  } catch (...) {
    WriteLog(context, kLogError, "--EXCEPTION caught at getProperty\n");
    return 0;
  }
}

int setProperty(int grabberNo, int portNo, const char* prop, int value) {
  (void)grabberNo;
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogDetail, "setProperty: portNo=%d\n", portNo);
    if (!prop) return 0;
    return CameraList::GetInstance().GetByPort(portNo).SetProperty(prop, value) ? 1 : 0;
  } catch (...) {
    WriteLog(context, kLogError, "setProperty: --EXCEPTION caught \n");
    return 0;
  }
}

int getPropertyRange(int grabberNo, int portNo, const char* prop, int* minValue, int* maxValue) {
  DriverContext* context = GetDriverContext();
  try {
    WriteLog(context, kLogInfo, "getPropertyRange: entering grabberNo=%d   portNo=%d\n", grabberNo, portNo);
    if (!prop || !minValue || !maxValue) return 0;
    if (!CameraList::GetInstance().GetByPort(portNo).GetRange(prop, minValue, maxValue)) return 0;
    WriteLog(context, kLogInfo, "getPropertyRange: leaving grabberNo=%d   portNo=%d\n", grabberNo, portNo);
    return 1;
  } catch (...) {
    WriteLog(context, kLogError, "getPropertyRange: --EXCEPTION caught \n");
    return 0;
  }
}

int configureCamera(CvlWindowHandle parentWindow, const char* cameraName) {
  DriverContext* context = GetDriverContext();
  int result = 1;
  try {
    WriteLog(context, kLogInfo, "configureCamera: entering cameraName=%s\n", Shown(cameraName));
    CameraList& list = CameraList::GetInstance();
    if (!list.IsCameraAvailable(cameraName)) {
      WriteLog(context, kLogError, "configureCamera: ERROR: cannot find camera by name: %s\n", Shown(cameraName));
      return 0;
    }
    // 0 after the user confirmed the dialog; cancelled, declined or refused stays 1.
    if (ShowConfigureDialog(list.GetByName(cameraName), parentWindow)) result = 0;
  } catch (...) {
    WriteLog(context, kLogError, "configureCamera --EXCEPTION , cameraName=%s\n", Shown(cameraName));
  }
  WriteLog(context, kLogInfo, "configureCamera: leaving cameraName=%s\n", Shown(cameraName));
  return result;
}

}  // extern "C"
