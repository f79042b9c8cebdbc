#include "tools/cvlhost/ModulePath.h"

#include <cstdlib>
#include <filesystem>

#ifndef VQ_MODULE_FROM_BINDIR
#error "VQ_MODULE_FROM_BINDIR: the installed module's path relative to the installed executable"
#endif
#ifndef VQ_MODULE_INSTALLED
#error "VQ_MODULE_INSTALLED: the installed module's full path"
#endif

namespace {

constexpr const char* kModuleFile = "libVorquellCamera.so";

}  // namespace

std::string FindModule(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* variable = std::getenv("VORQUELL_CAMERA_MODULE"); variable && *variable) return variable;
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    for (const std::filesystem::path& candidate :
         {self.parent_path() / kModuleFile, self.parent_path() / VQ_MODULE_FROM_BINDIR})
      if (std::filesystem::is_regular_file(candidate, error)) return candidate.lexically_normal().string();
  }
  if (std::filesystem::is_regular_file(VQ_MODULE_INSTALLED, error)) return VQ_MODULE_INSTALLED;
  return kModuleFile;
}
