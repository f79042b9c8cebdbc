#pragma once
// Asks one GigE Vision camera, by its address, who it is: a GVCP discovery
// command sent to that address only (never a broadcast), answered with the
// camera's bootstrap identity. Cheap enough to repeat every second; it works
// while another application, or this one, holds the camera's control channel.
#include <string>

namespace vq::aravis {

struct GvcpIdentity {
  std::string vendor;
  std::string model;
  std::string serial;
};

// True when the camera at `address` (an IPv4 literal) answered within
// `timeoutMs` (two attempts share it).
bool ProbeGigECamera(const std::string& address, unsigned int timeoutMs, GvcpIdentity* identity);

// The local address the system would send from to reach `address`, found
// without sending anything; empty when there is no route.
std::string LocalAddressFor(const std::string& address);

}  // namespace vq::aravis
