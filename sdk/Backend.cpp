#include "sdk/Backend.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/PrivateProfile.h"
#include "sdk/sim/SimBus.h"
#ifdef VQ_HAVE_ARAVIS
#include "sdk/aravis/AravisBus.h"
#endif

namespace FlyCapture2::detail {

namespace {

#ifdef VQ_HAVE_ARAVIS
constexpr const char* kKnownBackends = "sim, aravis";
#else
constexpr const char* kKnownBackends = "sim";
#endif

constexpr const char* kFromFile = " in the settings file";

// Stands in for a backend that the environment or the settings file names
// but that does not exist: every operation fails and says why, naming where
// the name came from.
class UnknownBackend final : public Backend {
 public:
  UnknownBackend(std::string name, std::string origin) : _name(std::move(name)), _origin(std::move(origin)) {}

  Error GetNumOfCameras(unsigned int*) override { return Failure(); }
  Error GetCameraFromIndex(unsigned int, PGRGuid*) override { return Failure(); }
  Error GetCameraFromSerialNumber(unsigned int, PGRGuid*) override { return Failure(); }
  Error FireBusReset(const PGRGuid&) override { return Failure(); }
  Error RegisterCallback(BusEventCallback, BusCallbackType, void*, CallbackHandle*) override { return Failure(); }
  Error UnregisterCallback(CallbackHandle) override { return Failure(); }
  Error Connect(const PGRGuid&, std::shared_ptr<CameraDevice>*) override { return Failure(); }

 private:
  Error Failure() const {
    return FC2_ERROR(
        PGRERROR_NOT_IMPLEMENTED,
        _name == "aravis"
            ? "The camera SDK backend 'aravis' (" + _origin +
                  ") is not part of this build: it was built without Aravis 0.8 (Debian: libaravis-dev)."
            : "Unknown camera SDK backend '" + _name + "' (" + _origin + "); known backends: " + kKnownBackends + ".");
  }

  const std::string _name;
  const std::string _origin;
};

// The choice of the backend and what the settings file asked for before it.
std::mutex choiceLock;
bool chosen = false;
vq::sdk::BackendPreference preferred;

Backend* ChooseBackend() {
  std::lock_guard<std::mutex> lock(choiceLock);
  chosen = true;
  std::string name;
  std::string origin;
  if (const char* variable = std::getenv("VORQUELL_SDK_BACKEND"); variable && *variable) {
    name = variable;
    origin = "VORQUELL_SDK_BACKEND";
  } else if (preferred.backend) {
    name = *preferred.backend;
    origin = std::string("SdkBackend") + kFromFile;
  }
  if (name.empty() || name == "sim") return &vq::sim::SimBus::Instance();
#ifdef VQ_HAVE_ARAVIS
  if (name == "aravis") {
    vq::aravis::DiscoveryInput input;
    if (const char* interfaces = std::getenv("VORQUELL_ARAVIS_INTERFACES")) {
      input.interfaces = interfaces;
    } else if (preferred.aravisInterfaces) {
      input.interfaces = preferred.aravisInterfaces;
      input.interfacesOrigin = std::string("AravisInterfaces") + kFromFile;
    }
    if (const char* devices = std::getenv("VORQUELL_ARAVIS_DEVICES"))
      input.devices = devices;
    else
      input.devices = preferred.aravisDevices;
    return &vq::aravis::AravisBus::Instance(input);
  }
#endif
  // Lives as long as the process, like the simulated bus.
  return new UnknownBackend(name, origin);
}

}  // namespace

Backend& GetBackend() {
  static Backend* const backend = ChooseBackend();
  return *backend;
}

namespace {
thread_local std::chrono::steady_clock::time_point lastReceiveTime{};
}  // namespace

void RecordReceiveTime(std::chrono::steady_clock::time_point time) { lastReceiveTime = time; }

}  // namespace FlyCapture2::detail

namespace vq::sdk {

namespace {

// A value never holds a line break, so this default tells an absent key from
// an empty one.
constexpr const char* kAbsent = "\n";

std::optional<std::string> GeneralKey(const ProfileText& profile, const char* key) {
  char value[4096];
  GetProfileString(profile, "General", key, kAbsent, value, sizeof value);
  if (std::string(value) == kAbsent) return std::nullopt;
  return std::string(value);
}

}  // namespace

BackendPreference ReadBackendPreference(const std::string& path) {
  BackendPreference preference;
  if (path.empty()) return preference;
  const ProfileText profile = ReadPrivateProfile(path);
  preference.backend = GeneralKey(profile, "SdkBackend");
  if (preference.backend && preference.backend->empty()) preference.backend.reset();
  preference.aravisInterfaces = GeneralKey(profile, "AravisInterfaces");
  preference.aravisDevices = GeneralKey(profile, "AravisDevices");
  return preference;
}

bool SetPreferredBackend(const BackendPreference& preference) {
  std::lock_guard<std::mutex> lock(FlyCapture2::detail::choiceLock);
  if (FlyCapture2::detail::chosen) return false;
  FlyCapture2::detail::preferred = preference;
  return true;
}

std::chrono::steady_clock::time_point LastReceiveTimeOnThisThread() { return FlyCapture2::detail::lastReceiveTime; }

}  // namespace vq::sdk
