// Fuzz target: getCVLGrabRow's arguments. The destination holds exactly one
// image row of the camera asked for (width x bytes per pixel), so that a copy
// of more than a row, or from outside the row, is caught by AddressSanitizer.
// A row pull changes nothing an input after it could see: the colour camera
// holds one frame for the whole run (see DriverSetup.h), so every input reads
// the same rows and a crash replays from its input alone.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "include/VorquellCamera.h"
#include "tests/fuzz/DriverSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vqfuzz::SetUpDriver();
  const uint8_t flags = vqfuzz::Take<uint8_t>(data, size);
  const int32_t row = vqfuzz::Take<int32_t>(data, size);
  const int32_t firstPixel = vqfuzz::Take<int32_t>(data, size);
  const int32_t lastPixel = vqfuzz::Take<int32_t>(data, size);
  const int32_t anyPort = vqfuzz::Take<int32_t>(data, size);

  // The default fleet's cameras start at 640 x 480: 1920 bytes a colour
  // row, 640 a monochrome one.
  int port = anyPort;
  size_t rowBytes = 1920;
  switch (flags & 3) {
    case 0: port = vqfuzz::kColourPort; break;
    case 1:
      port = vqfuzz::kMonoPort;
      rowBytes = 640;
      break;
    default: break;
  }
  std::unique_ptr<unsigned char[]> dest(new unsigned char[rowBytes]);
  getCVLGrabRow(0, port, (flags & 4) ? nullptr : dest.get(), row, firstPixel, lastPixel);
  return 0;
}
