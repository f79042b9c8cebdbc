#include "sdk/Backend.h"

#include <cstdlib>
#include <string>

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

// Stands in for a backend that VORQUELL_SDK_BACKEND names but that does not
// exist: every operation fails and says why.
class UnknownBackend final : public Backend {
 public:
  explicit UnknownBackend(std::string name) : _name(std::move(name)) {}

  Error GetNumOfCameras(unsigned int*) override { return Failure(); }
  Error GetCameraFromIndex(unsigned int, PGRGuid*) override { return Failure(); }
  Error GetCameraFromSerialNumber(unsigned int, PGRGuid*) override { return Failure(); }
  Error FireBusReset(const PGRGuid&) override { return Failure(); }
  Error RegisterCallback(BusEventCallback, BusCallbackType, void*, CallbackHandle*) override { return Failure(); }
  Error UnregisterCallback(CallbackHandle) override { return Failure(); }
  Error Connect(const PGRGuid&, std::shared_ptr<CameraDevice>*) override { return Failure(); }

 private:
  Error Failure() const {
    return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED,
                     _name == "aravis"
                         ? std::string("The camera SDK backend 'aravis' (VORQUELL_SDK_BACKEND) is not part of this "
                                       "build: it was built without Aravis 0.8 (Debian: libaravis-dev).")
                         : "Unknown camera SDK backend '" + _name + "' (VORQUELL_SDK_BACKEND); known backends: " +
                               kKnownBackends + ".");
  }

  const std::string _name;
};

Backend* ChooseBackend() {
  const char* name = std::getenv("VORQUELL_SDK_BACKEND");
  if (!name || !*name || std::string(name) == "sim") return &vq::sim::SimBus::Instance();
#ifdef VQ_HAVE_ARAVIS
  if (std::string(name) == "aravis") return &vq::aravis::AravisBus::Instance();
#endif
  // Lives as long as the process, like the simulated bus.
  return new UnknownBackend(name);
}

}  // namespace

Backend& GetBackend() {
  static Backend* const backend = ChooseBackend();
  return *backend;
}

}  // namespace FlyCapture2::detail
