#pragma once
// What the fuzz targets share: a folder of their own under the system's
// temporary folder, removed when the process ends, and the driver set up once
// per process on the simulated bus.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace vqfuzz {

// The process's temporary folder (created on first use, removed at exit);
// nothing a target does is written anywhere else.
// (Never destroyed, so that the removal at exit still has the name.)
inline const std::string& TempFolder() {
  static const std::string* folder = [] {
    auto* pattern = new std::string((std::filesystem::temp_directory_path() / "vq-fuzz-XXXXXX").string());
    if (!mkdtemp(pattern->data())) throw std::runtime_error("cannot create a temporary folder");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(TempFolder(), ignored);
    });
    return pattern;
  }();
  return *folder;
}

// Reads a value of type T from the front of the input, zero when it runs out.
template <class T>
T Take(const uint8_t*& data, size_t& size) {
  T value{};
  const size_t count = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, count);
  data += count;
  size -= count;
  return value;
}

// The log and settings files the driver writes into its system folder grow
// with every call; they are cut back now and then so that a long run stays
// bounded.
inline void TrimDriverFiles(uint64_t iteration) {
  if (iteration % 512 != 0) return;
  std::error_code ignored;
  std::filesystem::remove(TempFolder() + "/VorquellCamera.log", ignored);
}

}  // namespace vqfuzz
