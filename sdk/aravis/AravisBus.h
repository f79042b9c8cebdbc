#pragma once
// The GenICam backend of the camera SDK: cameras found through Aravis on the
// interfaces VORQUELL_ARAVIS_INTERFACES (or the settings file's
// AravisInterfaces) names (USB3Vision, GigEVision, Fake; default USB3 Vision
// and GigE Vision discovery) and at the addresses VORQUELL_ARAVIS_DEVICES (or
// AravisDevices) lists (GigE Vision cameras asked by unicast only).
//
// A camera keeps its place and guid for the life of the process once seen.
// A monitor thread, started on the first callback registration or
// connection, looks again every second: the USB3 Vision list (and the Fake
// interface) and every known GigE address, never a GigE broadcast. A camera
// that goes away raises REMOVAL, one that comes (back) ARRIVAL, on the same
// event queue as the simulated bus; a connection's "control-lost" signal
// raises REMOVAL at once. The host's own enumerations (GetNumOfCameras) run
// every configured interface, GigE discovery included when it is configured.
// A configured address where no camera answers is named in a level-1
// warning of the driver's log, once until a camera answers there.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sdk/Backend.h"
#include "sdk/aravis/AravisDevice.h"
#include "sdk/aravis/GenicamMapping.h"
#include "sdk/sim/BusEventQueue.h"

namespace vq::aravis {

class AravisBus final : public FlyCapture2::detail::Backend {
 public:
  // PGRGuid: value[0] the serial number, value[1] this mark, value[2] the
  // camera's place in the bus's list plus one.
  static constexpr uint32_t kGuidMark = 0x56514152;  // "VQAR"
  static constexpr unsigned int kMonitorPeriodMs = 1000;
  static constexpr unsigned int kProbeTimeoutMs = 400;

  // The process-wide bus, never destroyed; its threads stop at exit. The
  // first call builds it with `input`; later calls return it as it is.
  static AravisBus& Instance(const DiscoveryInput& input);

  FlyCapture2::Error GetNumOfCameras(unsigned int* numCameras) override;
  FlyCapture2::Error GetCameraFromIndex(unsigned int index, FlyCapture2::PGRGuid* guid) override;
  FlyCapture2::Error GetCameraFromSerialNumber(unsigned int serialNumber, FlyCapture2::PGRGuid* guid) override;
  FlyCapture2::Error FireBusReset(const FlyCapture2::PGRGuid& guid) override;
  FlyCapture2::Error RegisterCallback(FlyCapture2::BusEventCallback callback, FlyCapture2::BusCallbackType type,
                                      void* parameter, FlyCapture2::CallbackHandle* handle) override;
  FlyCapture2::Error UnregisterCallback(FlyCapture2::CallbackHandle handle) override;
  FlyCapture2::Error Connect(const FlyCapture2::PGRGuid& guid,
                             std::shared_ptr<FlyCapture2::detail::CameraDevice>* device) override;

  void Shutdown();

 private:
  // One camera as found by a scan.
  struct Found {
    std::string key;        // transport and device id, or "Address:" and the address
    std::string transport;  // "USB3Vision", "GigEVision", "Fake"
    std::string deviceId;   // Aravis's device id; empty for an address
    std::string address;    // GigE Vision: the address to open it at
    std::string serial;
  };
  struct Entry {
    Found found;
    uint32_t serialNumber = 0;
    bool present = false;
    std::vector<std::weak_ptr<DeviceLink>> links;
  };
  struct Scan {
    std::vector<Found> found;
    std::vector<std::string> transportsListed;  // entries of these not found are gone
    std::vector<std::string> addressesProbed;
    std::vector<std::string> configuredSilent;  // configured addresses that did not answer
  };

  explicit AravisBus(const DiscoveryInput& input);
  Scan RunScan(bool periodic);
  // Takes in what a scan found, then names each configured address that
  // stopped answering in a level-1 warning (once, until it answers again).
  void Merge(const Scan& scan);
  void MergeLocked(const Scan& scan);
  // The configured addresses this scan found silent that were not before.
  std::vector<std::string> NoteSilentAddressesLocked(const Scan& scan);
  void SetPresentLocked(Entry& entry, bool present);
  void OnControlLost(const std::string& key);
  void ReleaseLater(void* object);
  void EnsureMonitor();
  void Monitor();
  bool IsOurGuid(const FlyCapture2::PGRGuid& guid) const;

  std::string _settingsProblems;  // before _settings, which fills it
  const DiscoverySettings _settings;
  const std::string _interfacesOrigin;

  std::mutex _scanMutex;  // one scan at a time: Aravis's device list is global
  std::mutex _mutex;      // everything below
  std::vector<Entry> _entries;
  bool _scanned = false;
  std::vector<std::string> _silentAddresses;  // configured, warned about, not answering since
  std::vector<void*> _toRelease;              // GObjects
  bool _stopping = false;
  std::condition_variable _wake;
  std::thread _monitor;
  vq::sim::BusEventQueue _events;
};

}  // namespace vq::aravis
