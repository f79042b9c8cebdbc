#pragma once
// What a camera is known by: the record a Camera and its parameter set are
// built from.
#include <cstdint>
#include <string>

namespace vq {

struct CameraIdentity {
  uint32_t flags;  // 1 monochrome, 2 colour
  std::string name;
  uint32_t serialNumber;
};

}  // namespace vq
