// Load and Save of CameraParameters: the settings file in the host's system folder.
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "platform/PrivateProfile.h"

namespace vq {

namespace {

// Values longer than this are read cut to it.
constexpr uint32_t ValueBufferSize = 256;

// Empty when the host has given no system path: the settings then stay in
// memory rather than land in whatever folder the process happens to run in.
std::string SettingsFilePath() {
  const std::string systemPath = GetDriverContext()->SystemPath();
  return systemPath.empty() ? std::string() : systemPath + "/VorquellCamera.ini";
}

bool TakesPart(const Param_& param) { return param._persistent && param._enabled; }

}  // namespace

void CameraParameters::Load() {
  const std::string path = SettingsFilePath();
  if (!path.empty()) {
    // One read for all parameters, so they all come from the same state of the file.
    const vq::ProfileText profile = vq::ReadPrivateProfile(path);
    for (Param_& param : Params()) {
      if (!TakesPart(param)) continue;
      const std::string section = param._global ? "General" : _identity.name;
      char value[ValueBufferSize];
      vq::GetProfileString(profile, section.c_str(), param._name.c_str(), param.ToString(), value, sizeof value);
      param.FromString(value, param._global);
    }
  }
  // What the host set is newer than the file.
  for (const auto& [name, text] : _hostValues) {
    if (Param_* param = FindParam(name)) param->FromString(text, false);
  }
}

bool CameraParameters::Save() {
  const std::string path = SettingsFilePath();
  if (path.empty()) {
    WriteLog(GetDriverContext(), kLogError,
             "CameraParameters::Save: WARNING: no system path, settings of %s not saved\n", _identity.name.c_str());
    return false;
  }
  std::vector<vq::ProfileEntry> entries;
  for (Param_& param : Params()) {
    if (TakesPart(param))
      entries.push_back({param._global ? "General" : _identity.name, param._name, param.ToString()});
  }
  if (!vq::WritePrivateProfileStrings(path, entries)) {
    const std::string reason = std::error_code(errno, std::generic_category()).message();
    WriteLog(GetDriverContext(), kLogError, "CameraParameters::Save: ERROR: cannot write settings file %s: %s\n",
             path.c_str(), reason.c_str());
    return false;
  }
  return true;
}

}  // namespace vq
