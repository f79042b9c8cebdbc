#pragma once
// The driver module as a host sees it: loaded with dlopen, its entry points
// resolved by name through the public header's function types.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "include/VorquellCamera.h"

class Module {
 public:
  explicit Module(const std::string& path) {
    // Never unloaded: the module's threads and state live until the process ends.
    _handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!_handle) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
    Resolve(initialize, "initialize");
    Resolve(finalize, "finalize");
    Resolve(setSystemPath, "setSystemPath");
    Resolve(setDebugMsgProc, "setDebugMsgProc");
    Resolve(getCVLMaxNoOfGrabbers, "getCVLMaxNoOfGrabbers");
    Resolve(getCVLMaxNoOfPorts, "getCVLMaxNoOfPorts");
    Resolve(getCVLCameraConfigNames, "getCVLCameraConfigNames");
    Resolve(getCVLNoOfSupportedCameras, "getCVLNoOfSupportedCameras");
    Resolve(openCVLPort, "openCVLPort");
    Resolve(closeCVLPort, "closeCVLPort");
    Resolve(doCVLGrab, "doCVLGrab");
    Resolve(getCVLGrabRow, "getCVLGrabRow");
    Resolve(setCompleteCallback, "setCompleteCallback");
    Resolve(setHWTrigger, "setHWTrigger");
    Resolve(getProperty, "getProperty");
    Resolve(setProperty, "setProperty");
    Resolve(getPropertyRange, "getPropertyRange");
    Resolve(configureCamera, "configureCamera");
  }
  ~Module() { dlclose(_handle); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  initializeFn initialize;
  finalizeFn finalize;
  setSystemPathFn setSystemPath;
  setDebugMsgProcFn setDebugMsgProc;
  getCVLMaxNoOfGrabbersFn getCVLMaxNoOfGrabbers;
  getCVLMaxNoOfPortsFn getCVLMaxNoOfPorts;
  getCVLCameraConfigNamesFn getCVLCameraConfigNames;
  getCVLNoOfSupportedCamerasFn getCVLNoOfSupportedCameras;
  openCVLPortFn openCVLPort;
  closeCVLPortFn closeCVLPort;
  doCVLGrabFn doCVLGrab;
  getCVLGrabRowFn getCVLGrabRow;
  setCompleteCallbackFn setCompleteCallback;
  setHWTriggerFn setHWTrigger;
  getPropertyFn getProperty;
  setPropertyFn setProperty;
  getPropertyRangeFn getPropertyRange;
  configureCameraFn configureCamera;

 private:
  template <class Fn>
  void Resolve(Fn& function, const char* name) {
    function = reinterpret_cast<Fn>(dlsym(_handle, name));
    if (!function) throw std::runtime_error(std::string("module lacks the entry point ") + name);
  }

  void* _handle;
};
