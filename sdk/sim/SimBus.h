#pragma once
// The simulated camera bus: the default backend of the camera SDK. It holds
// the fleet of simulated cameras, which ones are on the bus, and the bus
// event queue. The fleet is loaded on first use: the JSON file named by
// VORQUELL_SIM_FLEET, or the built-in default of one colour and one
// monochrome camera (default-fleet.json).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/Backend.h"
#include "sdk/sim/BusEventQueue.h"
#include "sdk/sim/CameraConfig.h"
#include "sdk/sim/SimCamera.h"

namespace vq::sim {

class SimBus final : public FlyCapture2::detail::Backend {
 public:
  // PGRGuid of a simulated camera: value[0] is the serial number, value[1]
  // this mark, so a guid stays valid while its camera is away.
  static constexpr uint32_t kGuidMark = 0x56515349;  // "VQSI"

  // The process-wide bus. It is never destroyed (SDK calls may come from
  // other static destructors); its event thread is stopped at exit.
  static SimBus& Instance();

  // ---- Backend -----------------------------------------------------------
  FlyCapture2::Error GetNumOfCameras(unsigned int* numCameras) override;
  FlyCapture2::Error GetCameraFromIndex(unsigned int index, FlyCapture2::PGRGuid* guid) override;
  FlyCapture2::Error GetCameraFromSerialNumber(unsigned int serialNumber, FlyCapture2::PGRGuid* guid) override;
  FlyCapture2::Error FireBusReset(const FlyCapture2::PGRGuid& guid) override;
  FlyCapture2::Error RegisterCallback(FlyCapture2::BusEventCallback callback, FlyCapture2::BusCallbackType type,
                                      void* parameter, FlyCapture2::CallbackHandle* handle) override;
  FlyCapture2::Error UnregisterCallback(FlyCapture2::CallbackHandle handle) override;
  FlyCapture2::Error Connect(const FlyCapture2::PGRGuid& guid,
                             std::shared_ptr<FlyCapture2::detail::CameraDevice>* device) override;

  // ---- control (see SimControl.h) -------------------------------------------
  // Replacing the fleet retires every camera of the old one (their
  // connections fail from then on) and raises no events.
  void LoadFleet(const FleetConfig& fleet);        // throws std::invalid_argument
  void LoadFleetFile(const std::string& path);     // a bad file leaves the bus empty
  void LoadDefaultFleet();                         // so does a bad built-in document
  void AddCamera(const CameraConfig& camera);      // throws std::invalid_argument
  void RemoveCamera(unsigned int serialNumber);    // throws std::invalid_argument
  void ReattachCamera(unsigned int serialNumber);  // throws std::invalid_argument
  void RaiseBusReset(unsigned int serialNumber);
  void SetCountFault(bool fail);
  // The camera with this serial number, on the bus or away; throws
  // std::invalid_argument when the fleet has none.
  std::shared_ptr<SimCamera> Camera(unsigned int serialNumber);
  void FlushEvents();
  void Shutdown();

 private:
  SimBus() = default;

  void EnsureFleetLoadedLocked();
  void ReplaceFleetLocked(const FleetConfig& fleet);
  // A fleet that cannot be read leaves the bus empty, and every count query
  // fails with the FleetError text.
  void ReplaceFleetOrFailLocked(const std::function<FleetConfig()>& read);
  void LoadFleetFileLocked(const std::string& path);
  void LoadDefaultFleetLocked();
  std::shared_ptr<SimCamera> FindLocked(unsigned int serialNumber) const;
  std::shared_ptr<SimCamera> FindOnBusLocked(unsigned int serialNumber) const;
  std::vector<std::shared_ptr<SimCamera>> OnBusLocked() const;

  std::mutex _mutex;
  bool _loaded = false;
  std::string _loadError;  // why the fleet could not be read; empty if it could
  bool _countFault = false;
  std::vector<std::shared_ptr<SimCamera>> _cameras;  // enumeration order, on the bus or away
  BusEventQueue _events;
};

}  // namespace vq::sim
