#pragma once
// The configuration dialog of one camera: the work of Camera::Configure.
#include "include/VorquellCamera.h"

namespace vq {

class Camera;

// Shows the modal dialog for `camera` on the calling thread, parented to the
// host's window (an X11 window id, 0 for none). It edits a deep copy of the
// camera's parameter set, loaded from the settings file first; on OK the copy
// is saved to the settings file and what the dialog changed is taken over
// into the camera's set (values the camera's set gained meanwhile stay), and
// the result is true. Cancel, a declined warning while the camera captures, a
// failure, no usable display or a call from another thread than the Qt
// application's give false and leave the camera's set as it was. Nothing is
// sent to the camera here. Never throws.
bool ShowConfigureDialog(Camera& camera, CvlWindowHandle parentWindow);

}  // namespace vq
