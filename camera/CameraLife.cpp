#include "camera/CameraLife.h"

namespace vq {

const char* StateName(int32_t state) {
  switch (state) {
    case CamNotInit: return "'NotInit'";
    case CamClosed: return "'Closed '";
    case CamOpened: return "'Opened '";
    case CamOpenErr: return "'OpenErr'";
    case CamGrabErr: return "'GrabErr'";
    case CamCapture: return "'Capture'";
    case CamDestroy: return "'Destroy'";
    default: return "'Unknown'";
  }
}

const char* RequestName(int32_t request) {
  switch (request) {
    case ReqNotAssigned: return "'Req Not Assigned  '";
    case ReqCameraOpen: return "'Req Camera Open   '";
    case ReqCameraOpenOnArrival: return "'Req Cam.Open.Arriv'";
    case ReqCameraClose: return "'Req Camera Close  '";
    case ReqCameraCloseOpen: return "'Req Camera Reset  '";
    case ReqCameraDestroy: return "'Req Camera Destroy'";
    case ReqCaptureStart: return "'Req Capture Start '";
    case ReqCaptureCont: return "'Req.Capture.Cont  '";
    case ReqCaptureStop: return "'Req Capture Stop  '";
    case ReqApplyTriggerStrobe: return "'Req Trigger Strobe'";
    default: return "'Req Unrecognized  '";
  }
}

}  // namespace vq
