#pragma once
// The process-wide registry of cameras. It enumerates the bus at the first
// initialize, owns one Camera per camera found, answers lookups by name, port
// and serial number, runs the bus thread that carries out every camera
// request, and receives the SDK's bus events.
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "camera/Camera.h"
#include "camera/CameraBus.h"
#include "camera/CameraLife.h"
#include "camera/CameraStatistics.h"
#include "platform/Event.h"
#include "sdk/FlyCapture2.h"

namespace vq {

class CameraList : public FlyCapture2::BusManager, public CameraBus {
 public:
  // The single list, built on first use. Inline: the host's row pulls ask.
  static CameraList& GetInstance() {
    if (CameraList* list = _instance.load()) return *list;
    return MakeInstance();
  }
  // Destroys the single list, if any; a later GetInstance builds a new one.
  static void DeleteInstance();

  CameraList();
  ~CameraList() override;

  bool Init();
  // False when a thread of the driver's was left running: the list must then
  // not be freed.
  bool Destroy();

  bool IsCameraAvailable(const char* name) const;
  Camera& GetByName(const char* name) const;
  Camera& GetBySerialNo(unsigned int serialNo) const;
  // Inline: the host's row pulls ask. The walk stops at a hole in the list;
  // LookUpPortOrFail walks again and logs what it finds wrong.
  Camera& GetByPort(int port) const {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
      Camera* camera = _cameras[i].get();
      if (!camera) break;
      if (camera->Port() == port) return *camera;
    }
    return LookUpPortOrFail(port);
  }
  // The camera with that serial number, or null (nothing logged).
  Camera* FindBySerialNo(unsigned int serialNo) const;
  // Before `camera` is opened on `port`: any other camera bound to the port
  // (a closed camera keeps its port) gives the binding up, so that the port
  // addresses the camera opened on it.
  void ReleasePort(int port, const Camera& camera);
  Camera& operator[](int index) const;
  int Count() const { return _count.load(std::memory_order_acquire); }
  // At most this many cameras are listed, those found at Init and those that
  // arrive later.
  static constexpr int kMaxCameras = 64;
  // A camera that arrives on the bus after Init joins the list (and the
  // names); false when it cannot be reached or described.
  bool AddArrivedCamera(unsigned int serialNumber);

  // Null-terminated array of the camera names, built once when the bus is
  // enumerated: every call hands out the same array, valid until Destroy.
  const char** ConfigNames();

  // What each camera needs of its bus.
  FlyCapture2::BusManager& SdkBus() override { return *this; }
  // Signals the bus thread, if it runs.
  void WakeBusThread() override;
  void PrintAllStats() const override;
  void ResetAllStats() override;
  void SimulateRemoval(unsigned int serialNumber) override { OnBusRemoval(nullptr, serialNumber); }
  void SimulateArrival(unsigned int serialNumber) override { OnBusArrival(nullptr, serialNumber); }
  std::string BusStatsText() const { return _busStats.Text(); }

  // Bytes of 0x78 handed out for rows of cameras that are not capturing; null
  // until Init completes.
  const unsigned char* DummyLine() const override { return _dummyLine.get(); }

  // Bus thread.
  bool CreateBusThread();
  // False (logged) when the thread did not end within a minute and was left
  // running: then the cameras and the list it uses must be kept.
  bool DestroyBusThread();
  void BusThreadMain();
  void HandleCameraStateChange(Camera& camera);
  // True when the request at the front was carried out (popped).
  bool HandleCameraStateRequests(Camera& camera);
  void HandleCameraStateRequest(Camera& camera, bool& remove);
  // The side conditions of a reopen (life::Gate::kReopen): false when the
  // request is dropped or, with `remove` cleared, kept for later.
  bool ReopenMayGo(Camera& camera, const life::RequestRule& rule, bool& remove);

  // Bus event callbacks, called by the SDK on its own thread with the list as
  // parameter; the host commands "BusRemoval" and "BusArrival" call them too.
  static void OnBusReset(void* parameter, unsigned int serialNumber);
  static void OnBusArrival(void* parameter, unsigned int serialNumber);
  static void OnBusRemoval(void* parameter, unsigned int serialNumber);

 private:
  static CameraList& MakeInstance();
  // Throws, logged, unless a listed camera is on the port.
  Camera& LookUpPortOrFail(int port) const;
  // How long the bus thread may sleep while a request stays pending.
  int MillisecondsUntilNextTry() const;
  // Keeps a request that may not run before `deadlineMs` (vq::ClockMs) pending
  // and wakes the bus thread for it then.
  void KeepRequestUntil(int64_t deadlineMs);
  // Probes the camera at `guid` and lists it; null when it cannot be reached,
  // is listed already or there is no room. `caller` begins the log lines.
  Camera* AddCamera(FlyCapture2::PGRGuid guid, const char* caller);
  void BuildConfigNames();
  void BuildConfigNamesLocked();

  // Only ever appended to, within the reserved room, by one adder at a time;
  // readers index it below _count without a lock.
  static std::atomic<CameraList*> _instance;
  std::vector<std::unique_ptr<Camera>> _cameras;
  std::atomic<int> _count{0};
  std::mutex _addLock;
  std::unique_ptr<const char*[]> _configNames;
  std::vector<std::unique_ptr<const char*[]>> _retiredConfigNames;
  std::mutex _configNamesLock;
  std::unique_ptr<std::thread> _busThread;
  // Created with the first bus thread and kept until the list is destroyed, so
  // that a wake-up racing with the thread's end never meets a freed event.
  std::unique_ptr<vq::Event> _busEvent;
  std::atomic<bool> _busThreadActive{false};
  std::atomic<bool> _stopBusThread{false};
  // Bus thread only: the earliest time (vq::ClockMs) at which a request that
  // waits for a while becomes ready, 0 for none; and when each camera reopened
  // after an error may be opened again.
  int64_t _nextRequestDeadline = 0;
  std::unordered_map<const Camera*, int64_t> _reopenNotBefore;
  // Set by the bus thread as it leaves, so the teardown can wait for it with
  // a time-out.
  vq::Event _busThreadEnded;
  FlyCapture2::CallbackHandle _busCBHandle_All = nullptr;
  FlyCapture2::CallbackHandle _busCBHandle_Arrival = nullptr;
  FlyCapture2::CallbackHandle _busCBHandle_Removal = nullptr;
  BusStatistics _busStats;
  std::unique_ptr<unsigned char[]> _dummyLine;
};

}  // namespace vq
