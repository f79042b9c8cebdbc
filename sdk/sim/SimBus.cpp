#include "sdk/sim/SimBus.h"

#include <cstdlib>
#include <set>
#include <stdexcept>

#include "sdk/sim/FleetParser.h"
#include "sdk/sim/SimDevice.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

// Stops the bus's event thread during static destruction, so that no thread
// of ours runs into the process's exit.
struct EventThreadStopper {
  SimBus* bus;
  ~EventThreadStopper() { bus->Shutdown(); }
};

PGRGuid GuidOf(unsigned int serialNumber) {
  PGRGuid guid;
  guid.value[0] = serialNumber;
  guid.value[1] = SimBus::kGuidMark;
  return guid;
}

bool IsSimulatedGuid(const PGRGuid& guid) {
  return guid.value[1] == SimBus::kGuidMark && guid.value[0] != 0 && guid.value[2] == 0 && guid.value[3] == 0;
}

Error NoSuchCamera(unsigned int serialNumber) {
  return FC2_ERROR(PGRERROR_NOT_FOUND,
                   "No camera with serial number " + std::to_string(serialNumber) + " is on the bus.");
}

std::invalid_argument Misuse(const std::string& text) { return std::invalid_argument("vq::sim: " + text); }

}  // namespace

SimBus& SimBus::Instance() {
  static SimBus* bus = new SimBus();
  static EventThreadStopper stopper{bus};
  return *bus;
}

// ---- Backend ----------------------------------------------------------------

Error SimBus::GetNumOfCameras(unsigned int* numCameras) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  if (!_loadError.empty()) return FC2_ERROR(PGRERROR_CONFIG_FILE_FAILED, _loadError);
  if (_countFault) return FC2_ERROR(PGRERROR_FAILED, "Simulated fault: the camera count could not be read.");
  *numCameras = static_cast<unsigned int>(OnBusLocked().size());
  return Error();
}

Error SimBus::GetCameraFromIndex(unsigned int index, PGRGuid* guid) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  auto cameras = OnBusLocked();
  if (index >= cameras.size())
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Camera index " + std::to_string(index) + " is out of range (" +
                                                     std::to_string(cameras.size()) + " cameras on the bus).");
  *guid = GuidOf(cameras[index]->Serial());
  return Error();
}

Error SimBus::GetCameraFromSerialNumber(unsigned int serialNumber, PGRGuid* guid) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  if (!FindOnBusLocked(serialNumber)) return NoSuchCamera(serialNumber);
  *guid = GuidOf(serialNumber);
  return Error();
}

Error SimBus::FireBusReset(const PGRGuid& guid) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  if (!IsSimulatedGuid(guid) || !FindOnBusLocked(guid.value[0]))
    return FC2_ERROR(PGRERROR_NOT_FOUND, "No camera with this guid is on the bus.");
  _events.Raise(BUS_RESET, guid.value[0]);
  return Error();
}

Error SimBus::RegisterCallback(BusEventCallback callback, BusCallbackType type, void* parameter,
                               CallbackHandle* handle) {
  return _events.Register(callback, type, parameter, handle);
}

Error SimBus::UnregisterCallback(CallbackHandle handle) { return _events.Unregister(handle); }

Error SimBus::Connect(const PGRGuid& guid, std::shared_ptr<detail::CameraDevice>* device) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  if (!IsSimulatedGuid(guid)) return FC2_ERROR(PGRERROR_NOT_FOUND, "The guid names no camera of the simulated bus.");
  std::shared_ptr<SimCamera> camera = FindOnBusLocked(guid.value[0]);
  if (!camera) return NoSuchCamera(guid.value[0]);
  Error error = camera->CheckConnect();
  if (error != PGRERROR_OK) return error;
  *device = std::make_shared<SimDevice>(camera);
  return Error();
}

// ---- fleet ------------------------------------------------------------------

void SimBus::EnsureFleetLoadedLocked() {
  if (_loaded) return;
  const char* path = std::getenv("VORQUELL_SIM_FLEET");
  if (path && *path)
    LoadFleetFileLocked(path);
  else
    LoadDefaultFleetLocked();
}

void SimBus::ReplaceFleetLocked(const FleetConfig& fleet) {
  for (const auto& camera : _cameras) camera->Retire();
  _cameras.clear();
  for (const auto& camera : fleet.cameras) _cameras.push_back(std::make_shared<SimCamera>(camera));
  _countFault = fleet.countFault;
  _loadError.clear();
  _loaded = true;
}

void SimBus::ReplaceFleetOrFailLocked(const std::function<FleetConfig()>& read) {
  try {
    ReplaceFleetLocked(read());
  } catch (const std::exception& error) {
    ReplaceFleetLocked(FleetConfig());
    _loadError = error.what();
  }
}

void SimBus::LoadFleetFileLocked(const std::string& path) {
  ReplaceFleetOrFailLocked([&] { return FleetParser::ParseFile(path); });
}

void SimBus::LoadDefaultFleetLocked() { ReplaceFleetOrFailLocked(DefaultFleet); }

void SimBus::LoadFleet(const FleetConfig& fleet) {
  std::set<unsigned int> serials;
  for (const auto& camera : fleet.cameras) {
    std::string problem = CheckCameraConfig(camera);
    if (!problem.empty()) throw Misuse("camera " + std::to_string(camera.serial) + ": " + problem);
    if (!serials.insert(camera.serial).second)
      throw Misuse("serial number " + std::to_string(camera.serial) + " is used twice");
  }
  std::lock_guard<std::mutex> lock(_mutex);
  ReplaceFleetLocked(fleet);
}

void SimBus::LoadFleetFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(_mutex);
  LoadFleetFileLocked(path);
}

void SimBus::LoadDefaultFleet() {
  std::lock_guard<std::mutex> lock(_mutex);
  LoadDefaultFleetLocked();
}

// ---- arrivals and removals ----------------------------------------------------

void SimBus::AddCamera(const CameraConfig& camera) {
  std::string problem = CheckCameraConfig(camera);
  if (!problem.empty()) throw Misuse("camera " + std::to_string(camera.serial) + ": " + problem);
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  if (FindLocked(camera.serial)) throw Misuse("camera " + std::to_string(camera.serial) + " is already in the fleet");
  _cameras.push_back(std::make_shared<SimCamera>(camera));
  _events.Raise(ARRIVAL, camera.serial);
}

void SimBus::RemoveCamera(unsigned int serialNumber) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  std::shared_ptr<SimCamera> camera = FindOnBusLocked(serialNumber);
  if (!camera) throw Misuse("camera " + std::to_string(serialNumber) + " is not on the bus");
  camera->SetOnBus(false);
  _events.Raise(REMOVAL, serialNumber);
}

void SimBus::ReattachCamera(unsigned int serialNumber) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  std::shared_ptr<SimCamera> camera = FindLocked(serialNumber);
  if (!camera) throw Misuse("camera " + std::to_string(serialNumber) + " is not in the fleet");
  if (camera->IsOnBus()) throw Misuse("camera " + std::to_string(serialNumber) + " is already on the bus");
  camera->SetOnBus(true);
  _events.Raise(ARRIVAL, serialNumber);
}

void SimBus::RaiseBusReset(unsigned int serialNumber) {
  std::lock_guard<std::mutex> lock(_mutex);
  _events.Raise(BUS_RESET, serialNumber);
}

void SimBus::SetCountFault(bool fail) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  _countFault = fail;
}

std::shared_ptr<SimCamera> SimBus::Camera(unsigned int serialNumber) {
  std::lock_guard<std::mutex> lock(_mutex);
  EnsureFleetLoadedLocked();
  std::shared_ptr<SimCamera> camera = FindLocked(serialNumber);
  if (!camera) throw Misuse("camera " + std::to_string(serialNumber) + " is not in the fleet");
  return camera;
}

void SimBus::FlushEvents() { _events.Flush(); }

void SimBus::Shutdown() { _events.Shutdown(); }

std::shared_ptr<SimCamera> SimBus::FindLocked(unsigned int serialNumber) const {
  for (const auto& camera : _cameras)
    if (camera->Serial() == serialNumber) return camera;
  return nullptr;
}

std::shared_ptr<SimCamera> SimBus::FindOnBusLocked(unsigned int serialNumber) const {
  std::shared_ptr<SimCamera> camera = FindLocked(serialNumber);
  return camera && camera->IsOnBus() ? camera : nullptr;
}

std::vector<std::shared_ptr<SimCamera>> SimBus::OnBusLocked() const {
  std::vector<std::shared_ptr<SimCamera>> cameras;
  for (const auto& camera : _cameras)
    if (camera->IsOnBus()) cameras.push_back(camera);
  return cameras;
}

}  // namespace vq::sim
