/*
 * Vorquell camera driver: the CVL driver interface for host writers.
 *
 * A host loads libVorquellCamera.so with dlopen and resolves the eighteen
 * entry points below by their plain names with dlsym, casting each to its
 * function-pointer type (the *Fn typedefs). All results are 1 for success and
 * 0 for failure unless stated otherwise.
 */
#ifndef VORQUELL_CAMERA_H
#define VORQUELL_CAMERA_H

#ifdef __cplusplus
extern "C" {
#endif

/* The host's debug-message callback: receives each log line in two calls,
 * the timestamp first, then the message. */
typedef void (*DebugMsgProc)(const char* text);

/* The host's completion callback, called on a driver thread after each frame
 * with grabber number 0 and the camera's port. */
typedef void (*CompleteCallback)(int grabberNo, int portNo);

/* The host's parent window for the configuration dialog: an X11 window id,
 * 0 for none. */
typedef unsigned long CvlWindowHandle;

typedef int (*initializeFn)(const char* systemPath, DebugMsgProc proc);
typedef int (*finalizeFn)(void);
typedef int (*setSystemPathFn)(const char* path);
typedef void (*setDebugMsgProcFn)(DebugMsgProc proc);
typedef int (*getCVLMaxNoOfGrabbersFn)(void);
typedef int (*getCVLMaxNoOfPortsFn)(void);
typedef const char** (*getCVLCameraConfigNamesFn)(void);
typedef int (*getCVLNoOfSupportedCamerasFn)(void);
typedef int (*openCVLPortFn)(int grabberNo, int portNo, const char* cameraName, int imageSize[2]);
typedef void (*closeCVLPortFn)(int grabberNo, int portNo);
typedef int (*doCVLGrabFn)(int grabberNo, int portNo);
typedef int (*getCVLGrabRowFn)(int grabberNo, int portNo, unsigned char* dest, int row, int firstPixel, int lastPixel);
typedef int (*setCompleteCallbackFn)(int grabberNo, int portNo, CompleteCallback callback);
typedef int (*setHWTriggerFn)(void);
typedef int (*getPropertyFn)(int grabberNo, int portNo, const char* prop, int* value);
typedef int (*setPropertyFn)(int grabberNo, int portNo, const char* prop, int value);
typedef int (*getPropertyRangeFn)(int grabberNo, int portNo, const char* prop, int* minValue, int* maxValue);
typedef int (*configureCameraFn)(CvlWindowHandle parentWindow, const char* cameraName);

#ifdef VORQUELL_CAMERA_DECLARE_EXPORTS
#define VQ_EXPORT __attribute__((visibility("default")))
VQ_EXPORT int initialize(const char* systemPath, DebugMsgProc proc);
VQ_EXPORT int finalize(void);
VQ_EXPORT int setSystemPath(const char* path);
VQ_EXPORT void setDebugMsgProc(DebugMsgProc proc);
VQ_EXPORT int getCVLMaxNoOfGrabbers(void);
VQ_EXPORT int getCVLMaxNoOfPorts(void);
VQ_EXPORT const char** getCVLCameraConfigNames(void);
VQ_EXPORT int getCVLNoOfSupportedCameras(void);
VQ_EXPORT int openCVLPort(int grabberNo, int portNo, const char* cameraName, int imageSize[2]);
VQ_EXPORT void closeCVLPort(int grabberNo, int portNo);
VQ_EXPORT int doCVLGrab(int grabberNo, int portNo);
VQ_EXPORT int getCVLGrabRow(int grabberNo, int portNo, unsigned char* dest, int row, int firstPixel, int lastPixel);
VQ_EXPORT int setCompleteCallback(int grabberNo, int portNo, CompleteCallback callback);
VQ_EXPORT int setHWTrigger(void);
VQ_EXPORT int getProperty(int grabberNo, int portNo, const char* prop, int* value);
VQ_EXPORT int setProperty(int grabberNo, int portNo, const char* prop, int value);
VQ_EXPORT int getPropertyRange(int grabberNo, int portNo, const char* prop, int* minValue, int* maxValue);
VQ_EXPORT int configureCamera(CvlWindowHandle parentWindow, const char* cameraName);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VORQUELL_CAMERA_H */
