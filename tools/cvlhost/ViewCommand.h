#pragma once
// `cvlhost view`: the live view in a Qt application of cvlhost's own, which
// the driver's configuration dialog then shares.
#include <string>

#include "tools/cvlhost/LiveView.h"
#include "tools/cvlhost/Module.h"

// Empty when a window can be shown, else why not, as one line. Looks at
// QT_QPA_PLATFORM and DISPLAY and tries to reach the X display (Qt would end
// the process when it cannot).
std::string DisplayProblem();

// Shows the live view until its window is closed; the module must be
// initialized. Without a display prints one line and returns 1. With a
// `screenshot` path the window is saved there as PNG once it has shown
// frames for a second and a half, and the view ends.
int RunLiveView(Module& module, const LiveViewOptions& options, const std::string& screenshot = {});
