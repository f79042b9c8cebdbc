#pragma once
// The Qt application that the configuration dialog runs in. A host that runs
// a Qt widget application of its own lends it to the dialog; otherwise the
// first dialog creates one on the calling thread and keeps it for the life of
// the process. Nothing here runs before a dialog is asked for, so loading the
// module, grabbing and property commands never start Qt or need a display.
//
// Qt ends the process when it finds no platform to run on, so the display is
// checked before the application object is created: without one the dialog
// is refused with a reason instead.
#include <memory>
#include <string>

#include "include/VorquellCamera.h"

class QWidget;
class QWindow;

namespace vq {

class DialogApplication {
 public:
  // True when a dialog can be shown on the calling thread, creating the
  // application when there is none yet. False with the reason otherwise:
  // no usable display, a call from another thread than the application's,
  // or a host application without widgets.
  static bool Prepare(std::string& reason);

  // Why no application could be started from the environment: empty when a
  // platform can be used. Looks at QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY
  // and XDG_SESSION_TYPE, at the installed platform plugins, and tries to
  // reach the X display.
  static std::string DisplayProblem();

  // The host's widget with that native window id, if the host is a Qt
  // application and owns it; otherwise null.
  static QWidget* HostWidget(CvlWindowHandle parentWindow);
  // Makes `dialog` a transient of a foreign host window on X11, so that it
  // stays above it. The returned window stands for the host's and must
  // outlive the dialog; null when there is nothing to attach to.
  static std::unique_ptr<QWindow> AttachToHostWindow(QWidget& dialog, CvlWindowHandle parentWindow);
};

}  // namespace vq
