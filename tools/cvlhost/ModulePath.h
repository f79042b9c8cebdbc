#pragma once
// Where cvlhost loads the driver module from.
#include <string>

// The first of: `option` (--module), the environment variable
// VORQUELL_CAMERA_MODULE, the module beside the executable (a build folder),
// the installed module relative to the executable (so an installed tree may
// be moved), the installed module's full path; else the bare file name, for
// the loader's own search.
std::string FindModule(const std::string& option);
