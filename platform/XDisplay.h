#pragma once
// Whether an X display answers, asked as Qt's xcb platform would ask: through
// the library that platform uses, loaded at run time, so that no X
// development files are needed. Header only: the module's dialog and the
// reference host (which knows the module only through dlopen) share it.
#include <dlfcn.h>

#include <string>

namespace vq {

inline bool XDisplayReachable(const std::string& display) {
  void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!xcb) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  bool reachable = false;
  if (connect && hasError && disconnect) {
    void* connection = connect(display.c_str(), nullptr);
    reachable = connection && hasError(connection) == 0;
    if (connection) disconnect(connection);
  }
  dlclose(xcb);
  return reachable;
}

}  // namespace vq
