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

// Bytes 0x78, "x": what the host sees of a camera that has no frame.
constexpr unsigned char kDummyByte = 0x78;

}  // namespace

std::atomic<CameraList*> CameraList::_instance{nullptr};

CameraList& CameraList::MakeInstance() {
  std::lock_guard<std::mutex> lock(instanceLock);
  if (!_instance.load()) _instance = new (std::nothrow) CameraList();
  if (!_instance.load()) {
    WriteLog(GetDriverContext(), kLogError, "CameraList::GetInstance: ERROR: no valid instance\n");
    throw TextException("CameraList::GetInstance: no valid instance");
  }
  return *_instance.load();
}

void CameraList::DeleteInstance() {
  std::lock_guard<std::mutex> lock(instanceLock);
  // The list stays reachable while it tears down, for the host commands
  // that look it up. A list whose bus thread was left running stays for good.
  CameraList* list = _instance.load();
  if (list && list->Destroy()) delete list;
  _instance = nullptr;
}

void CameraList::WakeBusThread() {
  if (_busThreadActive) _busEvent->Set();
}

CameraList::CameraList() {
  _cameras.reserve(kMaxCameras);
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
    AddCamera(guid, "CameraList::Init");
  }

  if (Count() == 0) {
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

Camera* CameraList::AddCamera(FlyCapture2::PGRGuid guid, const char* caller) {
  DriverContext* context = GetDriverContext();
  std::lock_guard<std::mutex> lock(_addLock);
  FlyCapture2::CameraInfo info;
  {
    auto probe = std::make_unique<FlyCapture2::Camera>();
    FlyCapture2::Error error = probe->Connect(&guid);
    if (error != FlyCapture2::PGRERROR_OK) {
      WriteLog(context, kLogError, "%s: ERROR: failed to connect camera: %s\n", caller, error.GetDescription());
      return nullptr;
    }
    error = probe->GetCameraInfo(&info);
    if (error != FlyCapture2::PGRERROR_OK) {
      WriteLog(context, kLogError, "%s: ERROR: failed to get camera info: %s\n", caller, error.GetDescription());
      probe->Disconnect();
      return nullptr;
    }
    probe->Disconnect();
  }
  if (FindBySerialNo(info.serialNumber)) return nullptr;  // listed already
  if (Count() >= kMaxCameras) {
    WriteLog(context, kLogError, "%s: ERROR: no room for camera %u, %d cameras listed\n", caller, info.serialNumber,
             Count());
    return nullptr;
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
  WriteLog(context, kLogInfo, "%s: %s camera found: %s\n", caller, info.isColorCamera ? "color" : "b/w",
           camera->Name().c_str());
  // The room was reserved: the vector never moves, so that readers index it
  // without a lock; they see the camera once the count includes it.
  _cameras.push_back(std::move(camera));
  _count.store(static_cast<int>(_cameras.size()), std::memory_order_release);
  return _cameras.back().get();
}

bool CameraList::AddArrivedCamera(unsigned int serialNumber) {
  FlyCapture2::PGRGuid guid;
  FlyCapture2::Error error = GetCameraFromSerialNumber(serialNumber, &guid);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(GetDriverContext(), kLogError, "CameraList::AddArrivedCamera: ERROR: camera %u not found: %s\n",
             serialNumber, error.GetDescription());
    return false;
  }
  Camera* camera = AddCamera(guid, "CameraList::AddArrivedCamera");
  if (!camera) return false;
  BuildConfigNames();
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

  for (int i = 0; i < Count(); ++i) _cameras[i]->State().AddRequest(ReqCameraDestroy);
  if (!DestroyBusThread()) {
    WriteLog(context, kLogInfo, "CameraList::Destroy: leaving\n");
    return false;
  }
  for (auto& camera : _cameras)
    if (camera->KeptForThread()) (void)camera.release();
  _count = 0;
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
  for (int i = 0; i < Count(); ++i)
    if (_cameras[i]->Name() == name) return true;
  return false;
}

Camera& CameraList::GetByName(const char* name) const {
  DriverContext* context = GetDriverContext();
  const char* shown = name ? name : "";
  WriteLog(context, kLogDetail, "CameraList::GetByName: entering %s\n", shown);
  if (name) {
    for (int i = 0; i < Count(); ++i) {
      if (_cameras[i]->Name() == name) {
        WriteLog(context, kLogDetail, "CameraList::GetByName: leaving %s\n", shown);
        return *_cameras[i];
      }
    }
  }
  WriteLog(context, kLogError, "CameraList::GetByName: ERROR: could not find camera %s\n", shown);
  throw TextException();
}

Camera& CameraList::GetBySerialNo(unsigned int serialNo) const {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogDetail, "CameraList::GetBySerialNo: entering %d\n", serialNo);
  if (Camera* camera = FindBySerialNo(serialNo)) {
    WriteLog(context, kLogDetail, "CameraList::GetBySerialNo: leaving %d\n", serialNo);
    return *camera;
  }
  WriteLog(context, kLogError, "CameraList::GetBySerialNo: ERROR: could not find camera %d\n", serialNo);
  throw TextException();
}

Camera* CameraList::FindBySerialNo(unsigned int serialNo) const {
  for (int i = 0; i < Count(); ++i)
    if (_cameras[i]->SerialNumber() == serialNo) return _cameras[i].get();
  return nullptr;
}

Camera& CameraList::LookUpPortOrFail(int port) const {
  for (int i = 0; i < Count(); ++i) {
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
  for (int i = 0; i < Count(); ++i) {
    Camera* camera = _cameras[i].get();
    if (camera == &keeper || camera->Port() != port) continue;
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
  return *_cameras[index];
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
  const int count = Count();
  _configNames.reset(new const char*[static_cast<size_t>(count) + 1]);
  for (int i = 0; i < count; ++i) _configNames[i] = _cameras[i]->Name().c_str();
  _configNames[count] = nullptr;
}

void CameraList::PrintAllStats() const {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogError, ">>>ALL STATS for %d cameras:\n", Count());
  WriteLog(context, kLogError, ">>>%s\n", _busStats.Text().c_str());
  for (int i = 0; i < Count(); ++i) {
    WriteLog(context, kLogError, ">>>%s, %s\n", _cameras[i]->Statistics().Text().c_str(), _cameras[i]->Tag().c_str());
    WriteLog(context, kLogError, ">>>DROPS: %s, %s\n", _cameras[i]->Frames().DropsText().c_str(),
             _cameras[i]->Tag().c_str());
  }
}

void CameraList::ResetAllStats() {
  for (int i = 0; i < Count(); ++i) _cameras[i]->Statistics().Reset();
  _busStats.Restart();
}

}  // namespace vq
