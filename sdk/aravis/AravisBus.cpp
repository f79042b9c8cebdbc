#include "sdk/aravis/AravisBus.h"

#include <arv.h>

#include <algorithm>
#include <chrono>

#include "log/DriverContext.h"
#include "sdk/aravis/GvcpProbe.h"

namespace vq::aravis {

using namespace FlyCapture2;

namespace {

constexpr const char* kInterfaces[] = {"USB3Vision", "GigEVision", "Fake"};

struct Stopper {
  AravisBus* bus;
  ~Stopper() { bus->Shutdown(); }
};

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string Text(const char* text) { return text ? text : ""; }

// Opens a GigE Vision camera by address, through the interface that routes to it.
ArvDevice* OpenAddress(const std::string& address, std::string* problem) {
  std::string local = LocalAddressFor(address);
  if (local.empty()) {
    *problem = "no route to " + address;
    return nullptr;
  }
  GInetAddress* interfaceAddress = g_inet_address_new_from_string(local.c_str());
  GInetAddress* deviceAddress = g_inet_address_new_from_string(address.c_str());
  GError* error = nullptr;
  ArvDevice* device = nullptr;
  if (interfaceAddress && deviceAddress) device = arv_gv_device_new(interfaceAddress, deviceAddress, &error);
  if (interfaceAddress) g_object_unref(interfaceAddress);
  if (deviceAddress) g_object_unref(deviceAddress);
  if (!device) *problem = error && error->message ? error->message : "the camera did not answer";
  if (error) g_error_free(error);
  return device;
}

}  // namespace

AravisBus& AravisBus::Instance(const DiscoveryInput& input) {
  static AravisBus* bus = new AravisBus(input);
  static Stopper stopper{bus};
  return *bus;
}

AravisBus::AravisBus(const DiscoveryInput& input)
    : _settings(ParseDiscoverySettings(input.interfaces ? input.interfaces->c_str() : nullptr,
                                       input.devices ? input.devices->c_str() : nullptr, &_settingsProblems)),
      _interfacesOrigin(input.interfacesOrigin) {}

// ---- scanning ---------------------------------------------------------------------

AravisBus::Scan AravisBus::RunScan(bool periodic) {
  std::lock_guard<std::mutex> scanLock(_scanMutex);
  Scan scan;
  // A periodic scan never broadcasts: GigE Vision cameras are asked by address.
  for (const char* name : kInterfaces) {
    bool use = Contains(_settings.interfaces, name) && !(periodic && std::string(name) == "GigEVision");
    if (use)
      arv_enable_interface(name);
    else
      arv_disable_interface(name);
    if (use) scan.transportsListed.push_back(name);
  }
  if (!scan.transportsListed.empty()) {
    arv_update_device_list();
    for (unsigned int i = 0; i < arv_get_n_devices(); ++i) {
      Found found;
      found.transport = Text(arv_get_device_protocol(i));
      if (found.transport != "USB3Vision" && found.transport != "GigEVision") found.transport = "Fake";
      found.deviceId = Text(arv_get_device_id(i));
      found.serial = Text(arv_get_device_serial_nbr(i));
      if (found.transport == "GigEVision") found.address = Text(arv_get_device_address(i));
      found.key = found.transport + ":" + found.deviceId;
      scan.found.push_back(found);
    }
  }
  // Configured addresses, and the addresses of GigE cameras found before.
  std::vector<std::string> addresses = _settings.addresses;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    for (const Entry& entry : _entries)
      if (entry.found.transport == "GigEVision" && !entry.found.address.empty() &&
          !Contains(addresses, entry.found.address))
        addresses.push_back(entry.found.address);
  }
  for (const std::string& address : addresses) {
    bool listed =
        std::any_of(scan.found.begin(), scan.found.end(), [&](const Found& f) { return f.address == address; });
    if (listed) continue;
    scan.addressesProbed.push_back(address);
    GvcpIdentity identity;
    if (!ProbeGigECamera(address, kProbeTimeoutMs, &identity)) {
      if (Contains(_settings.addresses, address)) scan.configuredSilent.push_back(address);
      continue;
    }
    Found found;
    found.transport = "GigEVision";
    found.address = address;
    found.serial = identity.serial;
    found.key = "Address:" + address;
    scan.found.push_back(found);
  }
  return scan;
}

void AravisBus::Merge(const Scan& scan) {
  std::vector<std::string> newlySilent;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    MergeLocked(scan);
    newlySilent = NoteSilentAddressesLocked(scan);
  }
  // Logged outside the bus's locks: the host's log callback may call back
  // into the driver, and so into this bus.
  for (const std::string& address : newlySilent)
    WriteLog(GetDriverContext(), kLogError,
             "AravisBus: WARNING: no camera answers at %s (an address of VORQUELL_ARAVIS_DEVICES or AravisDevices)\n",
             address.c_str());
}

std::vector<std::string> AravisBus::NoteSilentAddressesLocked(const Scan& scan) {
  std::vector<std::string> newlySilent;
  for (const std::string& address : scan.configuredSilent)
    if (!Contains(_silentAddresses, address)) newlySilent.push_back(address);
  // An address where a camera answered (to the probe or to discovery) is
  // silent no longer: should it fall silent again, that is said again.
  std::erase_if(_silentAddresses, [&](const std::string& address) {
    return std::any_of(scan.found.begin(), scan.found.end(), [&](const Found& f) { return f.address == address; });
  });
  _silentAddresses.insert(_silentAddresses.end(), newlySilent.begin(), newlySilent.end());
  return newlySilent;
}

void AravisBus::MergeLocked(const Scan& scan) {
  const bool first = !_scanned;
  _scanned = true;
  // A GigE camera found by discovery and the same camera at a configured
  // address are one camera: the address names it.
  auto same = [](const Found& a, const Found& b) {
    return a.key == b.key || (!a.address.empty() && a.address == b.address && a.serial == b.serial);
  };
  for (const Found& found : scan.found) {
    auto entry = std::find_if(_entries.begin(), _entries.end(), [&](const Entry& e) { return same(e.found, found); });
    if (entry == _entries.end()) {
      Entry added;
      added.found = found;
      added.serialNumber = SerialNumberOf(found.serial);
      added.present = true;
      _entries.push_back(added);
      if (!first) _events.Raise(ARRIVAL, added.serialNumber);
      continue;
    }
    if (entry->found.serial != found.serial) {
      // Another camera at the same place: the old one has gone.
      SetPresentLocked(*entry, false);
      entry->found.serial = found.serial;
      entry->serialNumber = SerialNumberOf(found.serial);
    }
    SetPresentLocked(*entry, true);
  }
  // Only what this scan looked at can be found gone: a camera with an
  // address by its probe, any other by its interface's list.
  for (Entry& entry : _entries) {
    bool seen = std::any_of(scan.found.begin(), scan.found.end(), [&](const Found& f) { return same(entry.found, f); });
    if (seen) continue;
    bool covered = entry.found.address.empty() ? Contains(scan.transportsListed, entry.found.transport)
                                               : Contains(scan.addressesProbed, entry.found.address);
    if (covered) SetPresentLocked(entry, false);
  }
}

void AravisBus::SetPresentLocked(Entry& entry, bool present) {
  if (entry.present == present) return;
  entry.present = present;
  if (!present) {
    for (const auto& weak : entry.links)
      if (auto link = weak.lock()) link->lost = true;
    entry.links.clear();
  }
  _events.Raise(present ? ARRIVAL : REMOVAL, entry.serialNumber);
}

void AravisBus::OnControlLost(const std::string& key) {
  std::lock_guard<std::mutex> lock(_mutex);
  for (Entry& entry : _entries)
    if (entry.found.key == key) SetPresentLocked(entry, false);
}

// ---- monitor -----------------------------------------------------------------------

void AravisBus::EnsureMonitor() {
  std::lock_guard<std::mutex> lock(_mutex);
  if (_monitor.joinable() || _stopping) return;
  _monitor = std::thread([this] { Monitor(); });
}

void AravisBus::Monitor() {
  auto nextScan = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(_mutex);
  while (!_stopping) {
    std::vector<void*> release;
    release.swap(_toRelease);
    lock.unlock();
    for (void* object : release) g_object_unref(object);
    if (std::chrono::steady_clock::now() >= nextScan) {
      Merge(RunScan(true));
      nextScan = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMonitorPeriodMs);
    }
    lock.lock();
    _wake.wait_until(lock, nextScan, [this] { return _stopping || !_toRelease.empty(); });
  }
}

void AravisBus::ReleaseLater(void* object) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_stopping && _monitor.joinable()) {
      _toRelease.push_back(object);
      _wake.notify_all();
      return;
    }
  }
  g_object_unref(object);
}

void AravisBus::Shutdown() {
  std::thread monitor;
  std::vector<void*> release;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping = true;
    monitor.swap(_monitor);
    release.swap(_toRelease);
  }
  _wake.notify_all();
  if (monitor.joinable()) monitor.join();
  for (void* object : release) g_object_unref(object);
  _events.Shutdown();
}

// ---- Backend ---------------------------------------------------------------------------

bool AravisBus::IsOurGuid(const PGRGuid& guid) const {
  return guid.value[1] == kGuidMark && guid.value[2] != 0 && guid.value[3] == 0;
}

Error AravisBus::GetNumOfCameras(unsigned int* numCameras) {
  if (!_settingsProblems.empty())
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, _interfacesOrigin + ": " + _settingsProblems + ".");
  Merge(RunScan(false));
  std::lock_guard<std::mutex> lock(_mutex);
  *numCameras = static_cast<unsigned int>(
      std::count_if(_entries.begin(), _entries.end(), [](const Entry& e) { return e.present; }));
  return Error();
}

Error AravisBus::GetCameraFromIndex(unsigned int index, PGRGuid* guid) {
  std::lock_guard<std::mutex> lock(_mutex);
  unsigned int seen = 0;
  for (size_t i = 0; i < _entries.size(); ++i) {
    if (!_entries[i].present) continue;
    if (seen++ != index) continue;
    *guid = PGRGuid();
    guid->value[0] = _entries[i].serialNumber;
    guid->value[1] = kGuidMark;
    guid->value[2] = static_cast<uint32_t>(i + 1);
    return Error();
  }
  return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Camera index " + std::to_string(index) + " is out of range (" +
                                                   std::to_string(seen) + " cameras on the bus).");
}

Error AravisBus::GetCameraFromSerialNumber(unsigned int serialNumber, PGRGuid* guid) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      for (size_t i = 0; i < _entries.size(); ++i) {
        if (!_entries[i].present || _entries[i].serialNumber != serialNumber) continue;
        *guid = PGRGuid();
        guid->value[0] = serialNumber;
        guid->value[1] = kGuidMark;
        guid->value[2] = static_cast<uint32_t>(i + 1);
        return Error();
      }
      if (_scanned && _monitor.joinable()) break;  // the monitor keeps the list fresh
    }
    if (attempt == 0) Merge(RunScan(false));
  }
  return FC2_ERROR(PGRERROR_NOT_FOUND,
                   "No camera with serial number " + std::to_string(serialNumber) + " is on the bus.");
}

Error AravisBus::FireBusReset(const PGRGuid& guid) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (!IsOurGuid(guid) || guid.value[2] > _entries.size() || !_entries[guid.value[2] - 1].present)
    return FC2_ERROR(PGRERROR_NOT_FOUND, "No camera with this guid is on the bus.");
  // GenICam cameras have no bus reset; the event still tells the driver.
  _events.Raise(BUS_RESET, guid.value[0]);
  return Error();
}

Error AravisBus::RegisterCallback(BusEventCallback callback, BusCallbackType type, void* parameter,
                                  CallbackHandle* handle) {
  EnsureMonitor();
  return _events.Register(callback, type, parameter, handle);
}

Error AravisBus::UnregisterCallback(CallbackHandle handle) { return _events.Unregister(handle); }

Error AravisBus::Connect(const PGRGuid& guid, std::shared_ptr<detail::CameraDevice>* device) {
  if (!IsOurGuid(guid)) return FC2_ERROR(PGRERROR_NOT_FOUND, "The guid names no camera found through Aravis.");
  Found found;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (guid.value[2] > _entries.size())
      return FC2_ERROR(PGRERROR_NOT_FOUND, "The guid names no camera found through Aravis.");
    const Entry& entry = _entries[guid.value[2] - 1];
    if (!entry.present || entry.serialNumber != guid.value[0])
      return FC2_ERROR(PGRERROR_NOT_FOUND,
                       "No camera with serial number " + std::to_string(guid.value[0]) + " is on the bus.");
    found = entry.found;
  }
  EnsureMonitor();
  std::string problem;
  ArvDevice* arvDevice = nullptr;
  if (!found.address.empty()) {
    arvDevice = OpenAddress(found.address, &problem);
  } else {
    std::lock_guard<std::mutex> scanLock(_scanMutex);
    GError* error = nullptr;
    arvDevice = arv_open_device(found.deviceId.c_str(), &error);
    if (!arvDevice) problem = error && error->message ? error->message : "the camera could not be opened";
    if (error) g_error_free(error);
  }
  if (!arvDevice)
    return FC2_ERROR(PGRERROR_FAILED,
                     "Connecting to camera " + std::to_string(guid.value[0]) + " failed: " + problem + ".");
  GError* error = nullptr;
  ArvCamera* camera = arv_camera_new_with_device(arvDevice, &error);
  g_object_unref(arvDevice);  // the camera holds its own reference
  if (!camera) {
    problem = error && error->message ? error->message : "no GenICam description";
    if (error) g_error_free(error);
    return FC2_ERROR(PGRERROR_FAILED,
                     "Connecting to camera " + std::to_string(guid.value[0]) + " failed: " + problem + ".");
  }
  auto link = std::make_shared<DeviceLink>();
  link->onControlLost = [this, key = found.key] { OnControlLost(key); };
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _entries[guid.value[2] - 1].links.push_back(link);
  }
  DeviceIdentity identity{guid.value[0], found.serial, found.transport};
  *device = std::make_shared<AravisDevice>(camera, identity, link, [this](void* object) { ReleaseLater(object); });
  return Error();
}

}  // namespace vq::aravis
