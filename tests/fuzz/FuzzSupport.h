#pragma once
// What the fuzz targets share: a folder of their own on tmpfs (else under
// the system's temporary folder), removed when the process ends, and the
// reading of fuzzed values.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace vqfuzz {

// Where the temporary folder goes: /dev/shm, a tmpfs, when the machine has
// one. The driver replaces its settings file through a temporary file synced
// to the disk on every save, as it must; on a disk that sync cost 15 ms of
// every settings input, on tmpfs it costs nothing and the written path stays
// the one the driver runs in production. Else the system's temporary folder.
inline std::filesystem::path TempRoot() {
  std::error_code error;
  const std::filesystem::path shm = "/dev/shm";
  if (std::filesystem::is_directory(shm, error) && access(shm.c_str(), W_OK | X_OK) == 0) return shm;
  return std::filesystem::temp_directory_path();
}

// The process's temporary folder (created on first use, removed at exit);
// nothing a target does is written anywhere else.
// (Never destroyed, so that the removal at exit still has the name.)
inline const std::string& TempFolder() {
  static const std::string* folder = [] {
    auto* pattern = new std::string((TempRoot() / "vq-fuzz-XXXXXX").string());
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
