/*
 * minimal_host.c: the smallest complete host of the Vorquell camera driver.
 *
 * It loads the module with dlopen, resolves the eighteen entry points through
 * the function-pointer types of VorquellCamera.h, lists the cameras, opens the
 * first one on port 0, grabs one frame, copies its rows in the completion
 * callback, and closes everything again.
 *
 * Build against the installed package:
 *   cc minimal_host.c $(pkg-config --cflags --libs vorquell-camera) -lpthread \
 *      -DVQ_MODULE="\"$(pkg-config --variable=module vorquell-camera)\"" -o minimal_host
 * Run: ./minimal_host [module path]
 */
#define _POSIX_C_SOURCE 200809L /* clock_gettime, pthread_cond_timedwait */
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <VorquellCamera.h>

#ifndef VQ_MODULE
#define VQ_MODULE "libVorquellCamera.so" /* found through the loader's search path */
#endif

enum { kPort = 0 };

static struct {
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
} cvl;

/* The frame, filled on the driver's thread in the completion callback. */
static struct {
  pthread_mutex_t lock;
  pthread_cond_t done;
  int width, height, bytesPerPixel;
  unsigned char* pixels;
  int rowsRead;
  int completed;
} frame = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, 0, NULL, 0, 0};

static void OnLogText(const char* text) { fputs(text, stderr); }

static void OnFrame(int grabberNo, int portNo) {
  const size_t rowBytes = (size_t)frame.width * frame.bytesPerPixel;
  int rows = 0;
  for (int row = 0; row < frame.height; ++row)
    rows += cvl.getCVLGrabRow(grabberNo, portNo, frame.pixels + row * rowBytes, row, 0, frame.width - 1);
  pthread_mutex_lock(&frame.lock);
  frame.rowsRead = rows;
  frame.completed = 1;
  pthread_cond_signal(&frame.done);
  pthread_mutex_unlock(&frame.lock);
}

/* Resolves one entry point; `slot` is the address of a function pointer. */
static int Resolve(void* module, const char* name, void* slot) {
  void* symbol = dlsym(module, name);
  if (!symbol) {
    fprintf(stderr, "minimal_host: the module lacks %s\n", name);
    return 0;
  }
  *(void**)slot = symbol; /* POSIX: function pointers and void* share a representation */
  return 1;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : VQ_MODULE;
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    fprintf(stderr, "minimal_host: cannot load %s: %s\n", path, dlerror());
    return 1;
  }
  if (!(Resolve(module, "initialize", &cvl.initialize) && Resolve(module, "finalize", &cvl.finalize) &&
        Resolve(module, "setSystemPath", &cvl.setSystemPath) &&
        Resolve(module, "setDebugMsgProc", &cvl.setDebugMsgProc) &&
        Resolve(module, "getCVLMaxNoOfGrabbers", &cvl.getCVLMaxNoOfGrabbers) &&
        Resolve(module, "getCVLMaxNoOfPorts", &cvl.getCVLMaxNoOfPorts) &&
        Resolve(module, "getCVLCameraConfigNames", &cvl.getCVLCameraConfigNames) &&
        Resolve(module, "getCVLNoOfSupportedCameras", &cvl.getCVLNoOfSupportedCameras) &&
        Resolve(module, "openCVLPort", &cvl.openCVLPort) && Resolve(module, "closeCVLPort", &cvl.closeCVLPort) &&
        Resolve(module, "doCVLGrab", &cvl.doCVLGrab) && Resolve(module, "getCVLGrabRow", &cvl.getCVLGrabRow) &&
        Resolve(module, "setCompleteCallback", &cvl.setCompleteCallback) &&
        Resolve(module, "setHWTrigger", &cvl.setHWTrigger) && Resolve(module, "getProperty", &cvl.getProperty) &&
        Resolve(module, "setProperty", &cvl.setProperty) &&
        Resolve(module, "getPropertyRange", &cvl.getPropertyRange) &&
        Resolve(module, "configureCamera", &cvl.configureCamera)))
    return 1;

  /* The settings file and the log file go to the system folder. */
  const char* systemPath = getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
  cvl.initialize(systemPath, OnLogText);
  int status = 1;
  const char** names = cvl.getCVLCameraConfigNames();
  printf("%d camera(s)\n", cvl.getCVLNoOfSupportedCameras());
  for (int i = 0; names && names[i]; ++i) printf("  %s\n", names[i]);
  int size[2] = {0, 0};
  if (!names || !names[0]) {
    fprintf(stderr, "minimal_host: no camera\n");
  } else if (!cvl.openCVLPort(0, kPort, names[0], size)) {
    fprintf(stderr, "minimal_host: %s could not be opened\n", names[0]);
  } else {
    int pixelSize = 8; /* bits per pixel of the rows: 8 (grey) or 24 (BGR) */
    cvl.getProperty(0, kPort, "PixelSize", &pixelSize);
    frame.width = size[0];
    frame.height = size[1];
    frame.bytesPerPixel = pixelSize / 8;
    frame.pixels = malloc((size_t)frame.width * frame.height * frame.bytesPerPixel);
    cvl.setCompleteCallback(0, kPort, OnFrame);
    if (frame.pixels && cvl.doCVLGrab(0, kPort)) {
      struct timespec deadline;
      clock_gettime(CLOCK_REALTIME, &deadline);
      deadline.tv_sec += 10;
      pthread_mutex_lock(&frame.lock);
      int waited = 0;
      while (!frame.completed && waited != ETIMEDOUT)
        waited = pthread_cond_timedwait(&frame.done, &frame.lock, &deadline);
      const int completed = frame.completed, rows = frame.rowsRead;
      pthread_mutex_unlock(&frame.lock);
      if (!completed) {
        fprintf(stderr, "minimal_host: no frame within 10 s\n");
      } else {
        printf("grabbed a frame from %s: %d x %d, %d bytes per pixel, %d of %d rows\n", names[0], frame.width,
               frame.height, frame.bytesPerPixel, rows, frame.height);
        status = rows == frame.height ? 0 : 1;
      }
    }
    cvl.setCompleteCallback(0, kPort, NULL);
    cvl.closeCVLPort(0, kPort);
  }
  cvl.finalize();
  free(frame.pixels);
  /* The module is not unloaded: its threads and state live until the process ends. */
  return status;
}
