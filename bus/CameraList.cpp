#include "bus/CameraList.h"

#include <cstring>
#include <mutex>
#include <new>

#include "camera/Camera.h"
#include "log/DriverContext.h"
#include "log/TextException.h"
#include "sdk/Backend.h"

namespace vq {

namespace {

std::mutex instanceLock;
std::atomic<CameraList*> instance{nullptr};

// Bytes 0x78, "x": what the host sees of a camera that has no frame.
constexpr unsigned char kDummyByte = 0x78;

}  // namespace

CameraList& CameraList::GetInstance() {
  if (CameraList* list = instance.load()) return *list;
  std::lock_guard<std::mutex> lock(instanceLock);
  if (!instance.load()) instance = new (std::nothrow) CameraList();
  if (!instance.load()) {
    WriteLog(GetDriverContext(), kLogError, "CameraList::GetInstance: ERROR: no valid instance\n");
    throw TextException("CameraList::GetInstance: no valid instance");
  }
  return *instance.load();
}

void CameraList::DeleteInstance() {
  std::lock_guard<std::mutex> lock(instanceLock);
  // The list stays reachable while it tears down, for the host commands
  // that look it up. A list whose bus thread was left running stays for good.
  CameraList* list = instance.load();
  if (list && list->Destroy()) delete list;
  instance = nullptr;
}

void CameraList::WakeBusThread() {
  if (_busThreadActive) _busEvent->Set();
}

CameraList::CameraList() {
  _cameras.reserve(20);
  _busStats.Restart();
}

CameraList::~CameraList() {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "CameraList::~CameraList: entering\n");
  Destroy();
  WriteLog(context, kLogInfo, "CameraList::~CameraList: leaving\n");
}

bool CameraList::Init() {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "CameraList::Init: entering\n");

  // Before the first SDK call: the settings file may choose the SDK backend.
  const std::string systemPath = context->SystemPath();
  if (!systemPath.empty()) sdk::SetPreferredBackend(sdk::ReadBackendPreference(systemPath + "/VorquellCamera.ini"));

  unsigned int count = 0;
  FlyCapture2::Error error = GetNumOfCameras(&count);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to get number of cameras: %s\n",
             error.GetDescription());
    return false;
  }
  if (count == 0) {
    WriteLog(context, kLogError, "CameraList::Init: WARNING: no supported cameras found\n");
    return false;
  }

  // A camera that cannot be reached now (another program holds it) is left
  // out; the others are listed and work as usual.
  for (unsigned int i = 0; i < count; ++i) {
    FlyCapture2::PGRGuid guid;
    error = GetCameraFromIndex(i, &guid);
    if (error != FlyCapture2::PGRERROR_OK) {
      WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to get camera: %s\n", error.GetDescription());
      continue;
    }
    FlyCapture2::CameraInfo info;
    {
      auto probe = std::make_unique<FlyCapture2::Camera>();
      error = probe->Connect(&guid);
      if (error != FlyCapture2::PGRERROR_OK) {
        WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to connect camera: %s\n", error.GetDescription());
        continue;
      }
      error = probe->GetCameraInfo(&info);
      if (error != FlyCapture2::PGRERROR_OK) {
        WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to get camera info: %s\n",
                 error.GetDescription());
        probe->Disconnect();
        continue;
      }
      probe->Disconnect();
    }

    CameraIdentity identity;
    identity.flags = info.isColorCamera ? 2 : 1;
    char name[sizeof info.modelName + 16];
    std::snprintf(name, sizeof name, "%s (%u)", info.modelName, info.serialNumber);
    identity.name = name;
    identity.serialNumber = info.serialNumber;
    std::unique_ptr<Camera> camera(new (std::nothrow) Camera(identity, *this));
    if (!camera) {
      WriteLog(context, kLogError, "CameraList::Init:  ERROR: could not allocate Camera object\n");
      throw TextException("CameraList::Init: could not allocate Camera object");
    }
    WriteLog(context, kLogInfo, "CameraList::Init: %s camera found: %s\n", info.isColorCamera ? "color" : "b/w",
             camera->Name().c_str());
    _cameras.push_back(std::move(camera));
  }

  if (_cameras.empty()) {
    WriteLog(context, kLogError, "CameraList::Init: WARNING: no supported cameras found\n");
    return false;
  }

  if (!CreateBusThread()) {
    WriteLog(context, kLogError, "CameraList::Init: could not create bus thread\n");
    return false;
  }

  error = RegisterCallback(OnBusReset, FlyCapture2::BUS_RESET, this, &_busCBHandle_All);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to register flycapture BUS_RESET callback: %s\n",
             error.GetDescription());
    return false;
  }
  error = RegisterCallback(OnBusArrival, FlyCapture2::ARRIVAL, this, &_busCBHandle_Arrival);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to register flycapture bus ARRIVAL callback: %s\n",
             error.GetDescription());
    return false;
  }
  error = RegisterCallback(OnBusRemoval, FlyCapture2::REMOVAL, this, &_busCBHandle_Removal);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(context, kLogError, "CameraList::Init: ERROR: failed to register flycapture bus REMOVAL callback: %s\n",
             error.GetDescription());
    return false;
  }

  _busStats.Restart();
  BuildConfigNames();
  _dummyLine.reset(new unsigned char[kDummyLineSize]);
  std::memset(_dummyLine.get(), kDummyByte, kDummyLineSize);
  WriteLog(context, kLogInfo, "CameraList::Init: leaving\n");
  return true;
}

bool CameraList::Destroy() {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "CameraList::Destroy: entering\n");

  struct Registration {
    FlyCapture2::CallbackHandle& handle;
    const char* failure;
  };
  Registration registrations[] = {
      {_busCBHandle_All, "CameraList::Destroy: ERROR: failed to unregister _busCBHandle_All callback: %s\n"},
      {_busCBHandle_Arrival, "CameraList::Destroy: ERROR: failed to unregister _busCBHandle_Arrival callback: %s\n"},
      {_busCBHandle_Removal, "CameraList::Destroy: ERROR: failed to unregister _busCBHandle_Removal callback: %s\n"},
  };
  for (Registration& registration : registrations) {
    if (!registration.handle) continue;  // never registered: nothing to undo
    FlyCapture2::Error error = UnregisterCallback(registration.handle);
    if (error != FlyCapture2::PGRERROR_OK) WriteLog(context, kLogError, registration.failure, error.GetDescription());
    registration.handle = nullptr;
  }

  for (auto& camera : _cameras) camera->State().AddRequest(ReqCameraDestroy);
  if (!DestroyBusThread()) {
    WriteLog(context, kLogInfo, "CameraList::Destroy: leaving\n");
    return false;
  }
  for (auto& camera : _cameras)
    if (camera->KeptForThread()) (void)camera.release();
  _cameras.clear();
  _reopenNotBefore.clear();
  {
    std::lock_guard<std::mutex> lock(_configNamesLock);
    _configNames.reset();
    _retiredConfigNames.clear();
  }
  _dummyLine.reset();
  WriteLog(context, kLogInfo, "CameraList::Destroy: leaving\n");
  return true;
}

bool CameraList::IsCameraAvailable(const char* name) const {
  WriteLog(GetDriverContext(), kLogDetail, "CameraList::IsCameraAvailable:  name=%s\n", name ? name : "");
  if (!name) return false;
  for (const auto& camera : _cameras)
    if (camera->Name() == name) return true;
  return false;
}

Camera& CameraList::GetByName(const char* name) const {
  DriverContext* context = GetDriverContext();
  const char* shown = name ? name : "";
  WriteLog(context, kLogDetail, "CameraList::GetByName: entering %s\n", shown);
  if (name) {
    for (const auto& camera : _cameras) {
      if (camera->Name() == name) {
        WriteLog(context, kLogDetail, "CameraList::GetByName: leaving %s\n", shown);
        return *camera;
      }
    }
  }
  WriteLog(context, kLogError, "CameraList::GetByName: ERROR: could not find camera %s\n", shown);
  throw TextException();
}

Camera& CameraList::GetBySerialNo(unsigned int serialNo) const {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogDetail, "CameraList::GetBySerialNo: entering %d\n", serialNo);
  for (const auto& camera : _cameras) {
    if (camera->SerialNumber() == serialNo) {
      WriteLog(context, kLogDetail, "CameraList::GetBySerialNo: leaving %d\n", serialNo);
      return *camera;
    }
  }
  WriteLog(context, kLogError, "CameraList::GetBySerialNo: ERROR: could not find camera %d\n", serialNo);
  throw TextException();
}

Camera& CameraList::GetByPort(int port) const {
  for (size_t i = 0; i < _cameras.size(); ++i) {
    if (!_cameras[i]) {
      WriteLog(GetDriverContext(), kLogError,
               "CameraList::GetByPort: ERROR: vector contains null pointer at index %d\n", static_cast<int>(i));
      throw TextException();
    }
    if (_cameras[i]->Port() == port) return *_cameras[i];
  }
  WriteLog(GetDriverContext(), kLogError, "CameraList::GetByPort: ERROR: could not find camera on port %d\n", port);
  throw TextException();
}

void CameraList::ReleasePort(int port, const Camera& keeper) {
  for (const auto& camera : _cameras) {
    if (camera.get() == &keeper || camera->Port() != port) continue;
    if (camera->HostOpen())
      WriteLog(GetDriverContext(), kLogError,
               "CameraList::ReleasePort: WARNING: camera %s still open gives port %d up to camera %s\n",
               camera->Name().c_str(), port, keeper.Name().c_str());
    camera->ReleasePort();
  }
}

Camera& CameraList::operator[](int index) const {
  if (index < 0 || index >= Count()) {
    WriteLog(GetDriverContext(), kLogError, "CameraList::operator[] index out of bounds: %d\n", index);
    throw TextException();
  }
  return *_cameras[static_cast<size_t>(index)];
}

const char** CameraList::ConfigNames() {
  std::lock_guard<std::mutex> lock(_configNamesLock);
  if (!_configNames) BuildConfigNamesLocked();
  return _configNames.get();
}

void CameraList::BuildConfigNames() {
  std::lock_guard<std::mutex> lock(_configNamesLock);
  BuildConfigNamesLocked();
}

void CameraList::BuildConfigNamesLocked() {
  // An array handed out before the enumeration stays valid until the list goes.
  if (_configNames) _retiredConfigNames.push_back(std::move(_configNames));
  _configNames.reset(new const char*[_cameras.size() + 1]);
  for (size_t i = 0; i < _cameras.size(); ++i) _configNames[i] = _cameras[i]->Name().c_str();
  _configNames[_cameras.size()] = nullptr;
}

void CameraList::PrintAllStats() const {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogError, ">>>ALL STATS for %d cameras:\n", Count());
  WriteLog(context, kLogError, ">>>%s\n", _busStats.Text().c_str());
  for (const auto& camera : _cameras)
    WriteLog(context, kLogError, ">>>%s, %s\n", camera->Statistics().Text().c_str(), camera->Tag().c_str());
}

void CameraList::ResetAllStats() {
  for (auto& camera : _cameras) camera->Statistics().Reset();
  _busStats.Restart();
}

}  // namespace vq
