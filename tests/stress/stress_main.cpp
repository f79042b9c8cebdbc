// The stress program: the built module loaded with dlopen and driven by a
// host's threads at once, phase after phase, for a bounded time.
//
//   vq_stress [seconds] [phases]
//
// seconds (or VQ_STRESS_SECONDS, default 20) is the run time aimed at: the timed
// phases share two fifths of it, the others (a few fixed steps each) and the
// waits for frames (with deadlines) the rest;
// phases (or VQ_STRESS_PHASES, default all) a comma list of entry, trigger,
// hotplug, failopen, reuse (a port handed from one camera to another), idle
// (idle cameras through removal, arrival and "Reset"), grace (a close and
// reopen while another camera is away), rows (two host threads pulling the
// same rows), callback (closeCVLPort and finalize inside a completion
// callback), logcalls (a log callback that calls getProperty/setProperty) and
// cycles, and "names" for the host threads that read the camera name list
// during entry and hotplug. Every broken expectation is printed as
// "STRESS FAILURE [phase] check: detail" and makes the exit status 1; a crash
// or a sanitizer report ends the process on the spot. A host call or callback
// that does not come back within its deadline is reported the same way; the
// run then ends at once (exit status 1), since the driver cannot be taken down.
#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cctype>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/cvlhost/Module.h"

#if defined(__SANITIZE_ADDRESS__)
#define VQ_STRESS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VQ_STRESS_ASAN 1
#endif
#endif
#if defined(VQ_STRESS_ASAN) || defined(__SANITIZE_THREAD__)
#define VQ_STRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VQ_STRESS_SANITIZED 1
#endif
#endif

#ifdef VQ_STRESS_ASAN
// A small quarantine, so that the resident size measures what the driver
// keeps and not what AddressSanitizer holds back from reuse.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "quarantine_size_mb=16";
}
#endif

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The fleet: cameras with the roles below, on the ports the host gives them.
struct Role {
  const char* name;
  unsigned serial;
  int port;
};
constexpr Role kMain{"StressMain (101)", 101, 0};      // captures continuously
constexpr Role kSecond{"StressSecond (102)", 102, 1};  // opened, grabbed once, closed, over and over
constexpr Role kStorm{"StressStorm (103)", 103, 2};    // its first 12 retrievals fail: 4 grab errors
constexpr Role kTrig{"StressTrig (104)", 104, 3};      // trigger on, no trigger ever comes
constexpr Role kSpare{"StressSpare (105)", 105, -1};   // never opened by the host
constexpr Role kBroken{"StressBroken (106)", 106, 4};  // every open fails (video mode unreadable)
constexpr Role kRows{"StressRows (107)", 107, 8};      // free-running; two host threads pull the same rows
constexpr Role kIdle{"StressIdle (108)", 108, 9};      // never grabbed, removed and back; later the grace phase's
constexpr Role kOnce{"StressOnce (109)", 109, 10};     // one grab delivered, removed and back
constexpr Role kIdleReset{"StressIdleReset (110)", 110, 11};  // never grabbed, "Reset"
constexpr Role kOnceReset{"StressOnceReset (111)", 111, 12};  // one grab delivered, "Reset"
constexpr Role kAway{"StressAway (112)", 112, 13};            // removed and left away for its grace period
constexpr Role kReuse{"StressReuse (113)", 113, 14};          // colour, on the port the second camera had just before
constexpr Role kLogA{"StressLogA (114)", 114, 15};            // the log callback calls back into it
constexpr Role kCall{"StressCall (115)", 115, 16};            // closed, and finalize called, from its own callback
constexpr const Role* kRoles[] = {&kMain, &kSecond,    &kStorm,     &kTrig, &kSpare, &kBroken, &kRows, &kIdle,
                                  &kOnce, &kIdleReset, &kOnceReset, &kAway, &kReuse, &kLogA,   &kCall};
constexpr int kFleetSize = static_cast<int>(std::size(kRoles));
constexpr int kPorts = 20;
// The second camera's port when it hands the port over to kReuse.
constexpr int kReusedPort = kReuse.port;

const char* kFleet = R"({"cameras": [
  {"model": "StressMain", "serial": 101, "color": true,
   "videoModes": [{"mode": "160x120YUV444", "frameRates": [30]}]},
  {"model": "StressSecond", "serial": 102, "color": false, "freeRunning": true},
  {"model": "StressStorm", "serial": 103, "color": false, "faults": {"retrieve": 12}},
  {"model": "StressTrig", "serial": 104, "color": false,
   "trigger": {"periodMs": 0, "current": {"on": true, "mode": 0}}},
  {"model": "StressSpare", "serial": 105, "color": false},
  {"model": "StressBroken", "serial": 106, "color": false, "faults": {"getVideoMode": true}},
  {"model": "StressRows", "serial": 107, "color": false, "freeRunning": true, "videoModes": [],
   "format7": [{"mode": 0, "maxWidth": 1280, "maxHeight": 960, "pixelFormats": ["MONO8"]}],
   "current": {"videoMode": "FORMAT7", "format7": {"mode": 0, "width": 1280, "height": 8}}},
  {"model": "StressIdle", "serial": 108, "color": false},
  {"model": "StressOnce", "serial": 109, "color": false},
  {"model": "StressIdleReset", "serial": 110, "color": false},
  {"model": "StressOnceReset", "serial": 111, "color": false},
  {"model": "StressAway", "serial": 112, "color": false},
  {"model": "StressReuse", "serial": 113, "color": true,
   "videoModes": [{"mode": "160x120YUV444", "frameRates": [30]}]},
  {"model": "StressLogA", "serial": 114, "color": false},
  {"model": "StressCall", "serial": 115, "color": false}
]})";

// ---- what the host saw ------------------------------------------------------

enum PortState : int { kClosed, kOpening, kOpen, kClosing };

std::array<std::atomic<int>, kPorts> portState{};
std::array<std::atomic<uint64_t>, kPorts> callbacks{};
std::atomic<uint64_t> rowsPulled{0};
std::atomic<uint64_t> hostCalls{0};
std::atomic<uint64_t> logLines{0};
std::atomic<uint64_t> mainOpens{0};                     // opens of the main camera on the bus thread
std::array<std::atomic<uint64_t>, kFleetSize> opens{};  // opens of each camera (the "Opening camera" lines)
// The port each camera has from the host, for the lines about it: its role's
// port unless the host opened it on another.
std::array<std::atomic<int>, kFleetSize> hostPort{};
std::atomic<uint64_t> grabErrLines{0};         // grab errors of any camera
std::atomic<uint64_t> trigGrabErrors{0};       // of the trigger camera
std::atomic<uint64_t> trigRetrievalErrors{0};  // retrieval error lines of the trigger camera

std::mutex violationsLock;
std::vector<std::string> violations;  // found on driver threads, reported by the phase
int failures = 0;

// The phase running now, for the crash report.
std::atomic<const char*> runningPhase{"setup"};

// Without a sanitizer, which reports crashes itself, a crash names its phase
// and the stack.
extern "C" void OnCrash(int signalNumber) {
  char text[160];
  const int length = std::snprintf(text, sizeof text, "STRESS CRASH [%s] signal %d (%s); stack:\n", runningPhase.load(),
                                   signalNumber, strsignal(signalNumber));
  if (length > 0) (void)!write(STDOUT_FILENO, text, static_cast<size_t>(std::min<int>(length, sizeof text - 1)));
  void* frames[64];
  backtrace_symbols_fd(frames, backtrace(frames, 64), STDOUT_FILENO);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

const auto programStart = std::chrono::steady_clock::now();

void StartPhase(const char* phase) {
  runningPhase = phase;
  std::printf("stress: phase %s at %.1f s\n", phase,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - programStart).count());
  std::fflush(stdout);
}

void Fail(const std::string& phase, const std::string& check, const std::string& detail) {
  std::printf("STRESS FAILURE [%s] %s: %s\n", phase.c_str(), check.c_str(), detail.c_str());
  std::fflush(stdout);
  ++failures;
}

void Violation(const std::string& text) {
  std::lock_guard<std::mutex> lock(violationsLock);
  if (violations.size() < 20) violations.push_back(text);
}

Module* module = nullptr;

bool IsHostOpen(int port) {
  if (port < 0 || port >= kPorts) return false;
  const int state = portState[static_cast<size_t>(port)].load();
  return state != kClosed;
}

const Role* RoleOfSerial(unsigned serial) {
  for (const Role* role : kRoles)
    if (role->serial == serial) return role;
  return nullptr;
}

size_t IndexOf(const Role& role) {
  for (size_t i = 0; i < std::size(kRoles); ++i)
    if (kRoles[i] == &role) return i;
  std::abort();  // every role is in the list
}

// The host's completion callback: counts, checks the port, pulls two rows of
// the frame as a host does.
void OnComplete(int grabberNo, int portNo) {
  if (grabberNo != 0 || portNo < 0 || portNo >= kPorts) {
    Violation("callback for grabber " + std::to_string(grabberNo) + " port " + std::to_string(portNo));
    return;
  }
  if (!IsHostOpen(portNo)) Violation("completion callback for closed port " + std::to_string(portNo));
  callbacks[static_cast<size_t>(portNo)].fetch_add(1);
  thread_local std::vector<unsigned char> row(4096);
  if (module->getCVLGrabRow(0, portNo, row.data(), 0, 0, 159)) rowsPulled.fetch_add(1);
  if (module->getCVLGrabRow(0, portNo, row.data(), 1, 0, 159)) rowsPulled.fetch_add(1);
}

// The reference count from the initialize line, -1 until one comes.
std::atomic<int> initRefcount{-1};
// Lines that mention finalize, counted while the callback phase asks for it.
std::atomic<bool> countFinalizeLines{false};
std::atomic<uint64_t> finalizeLines{0};

// What the log callback does on a thread of the logcalls phase: it keeps
// every text that reaches that thread, and the delivery of a line about a
// failed Brightness write calls back into the driver on the same port (once
// per host call: the calls it makes fail on Brightness too).
struct LogCallsRecord {
  int port = -1;
  int callsBack = 0;  // calls back into the driver still allowed for the host call running now
  std::vector<std::string> texts;
  std::chrono::steady_clock::duration longestCallBack{};
};
thread_local LogCallsRecord* logCallsRecord = nullptr;

void CallBackFromLog(LogCallsRecord& record, const char* text) {
  record.texts.emplace_back(text);
  if (record.callsBack <= 0 || !std::strstr(text, "Failed to set property Brightness")) return;
  --record.callsBack;
  const auto start = Clock::now();
  int value = 0;
  module->getProperty(0, record.port, "Brightness", &value);
  module->setProperty(0, record.port, "Gain", 0);
  record.longestCallBack = std::max(record.longestCallBack, Clock::now() - start);
}

// The host's log callback, called with the timestamp and then the message.
// Opens of a camera the host has closed, GrabErr states and reference counts
// are read from the lines; only the logcalls phase's threads keep theirs.
FILE* logCopy = nullptr;  // VQ_STRESS_LOG: every line, for a look after a failure

void OnLog(const char* text) {
  if (!text) return;
  logLines.fetch_add(1);
  if (logCopy) std::fputs(text, logCopy);
  if (logCallsRecord) CallBackFromLog(*logCallsRecord, text);
  if (const char* count = std::strstr(text, "refcount="); count && std::strstr(text, "initialize: "))
    initRefcount = std::atoi(count + 9);
  if (countFinalizeLines && strcasestr(text, "finalize")) finalizeLines.fetch_add(1);
  const char* opening = std::strstr(text, "Camera::DoOpen: Opening camera ");
  if (opening) {
    const char* serialAt = std::strstr(text, "ser#");
    if (serialAt) {
      const Role* role = RoleOfSerial(static_cast<unsigned>(std::strtoul(serialAt + 4, nullptr, 10)));
      if (role == &kMain) mainOpens.fetch_add(1);
      if (role) opens[IndexOf(*role)].fetch_add(1);
      if (role && !IsHostOpen(hostPort[IndexOf(*role)].load()))
        Violation(std::string("camera opened although the host has it closed: ") + role->name);
    }
  }
  if (std::strstr(text, "GrabThread::ThreadMain: ERROR: Retrieve image failure, scheduling camera ")) {
    grabErrLines.fetch_add(1);
    if (std::strstr(text, kTrig.name)) trigGrabErrors.fetch_add(1);
  }
  if (std::strstr(text, "Camera::RetrieveImage: ERROR: ") && std::strstr(text, "ser#104 "))
    trigRetrievalErrors.fetch_add(1);
}

// ---- helpers ----------------------------------------------------------------

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 15000ms) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

uint64_t Callbacks(const Role& role) { return callbacks[static_cast<size_t>(role.port)].load(); }
uint64_t Opens(const Role& role) { return opens[IndexOf(role)].load(); }

// The port counts as the host's from the open until its close, also when the
// open failed: until the host closes it, the driver may keep trying.
bool OpenOn(const Role& role, int port, int size[2], CompleteCallback callback = OnComplete) {
  hostPort[IndexOf(role)] = port;
  portState[static_cast<size_t>(port)] = kOpening;
  const bool opened = module->openCVLPort(0, port, role.name, size) == 1;
  if (opened) module->setCompleteCallback(0, port, callback);
  portState[static_cast<size_t>(port)] = kOpen;
  return opened;
}

bool Open(const Role& role) {
  int size[2] = {0, 0};
  return OpenOn(role, role.port, size);
}

void CloseOn(const Role& role, int port) {
  portState[static_cast<size_t>(port)] = kClosing;
  module->closeCVLPort(0, port);
  portState[static_cast<size_t>(port)] = kClosed;
  hostPort[IndexOf(role)] = role.port;
}

void Close(const Role& role) { CloseOn(role, role.port); }

int Set(const Role& role, const char* name, int value) {
  hostCalls.fetch_add(1);
  return module->setProperty(0, role.port, name, value);
}

// Frames keep arriving: `count` more callbacks within the deadline.
bool FramesFlow(const Role& role, uint64_t count = 3, std::chrono::milliseconds timeout = 15000ms) {
  const uint64_t before = Callbacks(role);
  return WaitFor([&] { return Callbacks(role) >= before + count; }, timeout);
}

// Nothing arrives within a window: a camera the host left idle or closed.
// (An absence can only be watched for a while; the window never makes a
// sound driver fail.)
bool StaysQuiet(const Role& role, std::chrono::milliseconds window = 1500ms) {
  const uint64_t before = Callbacks(role);
  std::this_thread::sleep_for(window);
  return Callbacks(role) == before;
}

// A camera the host switched to idle stops delivering: a quiet window of
// 500 ms comes within the deadline (a frame already on its way may still
// arrive after the request).
bool BecomesIdle(const Role& role, std::chrono::milliseconds timeout = 15000ms) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const uint64_t before = Callbacks(role);
    std::this_thread::sleep_for(500ms);
    if (Callbacks(role) == before) return true;
  }
  return false;
}

void ReportViolations(const std::string& phase) {
  std::vector<std::string> found;
  {
    std::lock_guard<std::mutex> lock(violationsLock);
    found.swap(violations);
  }
  std::set<std::string> seen;
  for (const std::string& text : found)
    if (seen.insert(text).second) Fail(phase, "driver threads", text);
}

size_t ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

// ---- host threads -----------------------------------------------------------

// Threads that hammer the entry points until told to stop.
class HostThreads {
 public:
  HostThreads(bool secondCamera, bool names) {
    _threads.emplace_back([this] { Properties(1); });
    _threads.emplace_back([this] { Properties(2); });
    _threads.emplace_back([this] { Rows(3); });
    if (names) {
      _threads.emplace_back([this] { Names(); });
      _threads.emplace_back([this] { Names(); });
    }
    _threads.emplace_back([this] { Statistics(); });
    if (secondCamera) _threads.emplace_back([this] { SecondCamera(); });
  }
  ~HostThreads() { Stop(); }
  void Stop() {
    _stop = true;
    for (std::thread& thread : _threads)
      if (thread.joinable()) thread.join();
  }
  size_t Count() const { return _threads.size(); }
  uint64_t SecondCycles() const { return _secondCycles; }
  const std::vector<std::string>& Problems() const { return _problems; }

 private:
  static void Pace(uint64_t i) {
    if (i % 4 == 0) std::this_thread::sleep_for(1ms);
  }

  void Properties(unsigned seed) {
    std::mt19937 random(seed);
    const std::string longName(400, 'B');
    const char* names[] = {"Brightness", "Gain",          "Sharpness",  "Shutter",        "AutoExposure",   "PixelSize",
                           "continuous", "DCAMVideoMode", "FrameRate",  "TriggerOn",      "StrobeOn",       "Exposure",
                           "",           "NoSuchName",    "brightness", longName.c_str(), "Brightness\x01", nullptr};
    const int ports[] = {kMain.port, kStorm.port, kTrig.port, kMain.port, -1, 7, kPorts, 99999, INT_MIN};
    for (uint64_t i = 0; !_stop; ++i) {
      const char* name = names[random() % std::size(names)];
      const int port = ports[random() % std::size(ports)];
      int value = 0, low = 0, high = 0;
      hostCalls.fetch_add(1);
      switch (random() % 4) {
        case 0: module->getProperty(0, port, name, random() % 16 ? &value : nullptr); break;
        case 1: module->getPropertyRange(0, port, name, &low, random() % 16 ? &high : nullptr); break;
        default: {
          // Feature values only: the command words that change what the host
          // asked for belong to the phases.
          const char* writable[] = {"Brightness", "Gain", "Sharpness", "NoSuchName", "", nullptr, longName.c_str()};
          const int values[] = {0, 1, 100, -1, INT_MAX, INT_MIN, 4095};
          module->setProperty(0, port, writable[random() % std::size(writable)], values[random() % std::size(values)]);
          break;
        }
      }
      Pace(i);
    }
  }

  void Rows(unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> dest(16384);
    const int ports[] = {kMain.port, kStorm.port, kTrig.port, kSecond.port, -1, kPorts, INT_MAX};
    const int rows[] = {0, 1, 119, 120, -1, 479, 480, INT_MAX, INT_MIN};
    const int pixels[] = {0, 159, 160, 639, -1, 4095, INT_MAX, INT_MIN};
    for (uint64_t i = 0; !_stop; ++i) {
      hostCalls.fetch_add(1);
      module->getCVLGrabRow(0, ports[random() % std::size(ports)], random() % 32 ? dest.data() : nullptr,
                            rows[random() % std::size(rows)], pixels[random() % std::size(pixels)],
                            pixels[random() % std::size(pixels)]);
      Pace(i);
    }
  }

  void Names() {
    for (uint64_t i = 0; !_stop; ++i) {
      hostCalls.fetch_add(4);
      const char** names = module->getCVLCameraConfigNames();
      const int count = module->getCVLNoOfSupportedCameras();
      int listed = 0;
      size_t characters = 0;
      for (; names && names[listed]; ++listed) characters += std::strlen(names[listed]);
      if (listed != count || characters == 0)
        Problem("name list of " + std::to_string(listed) + " names for " + std::to_string(count) + " cameras");
      module->getCVLMaxNoOfPorts();
      module->setHWTrigger();
      Pace(i);
    }
  }

  void Statistics() {
    for (uint64_t i = 0; !_stop; ++i) {
      Set(kMain, "PrintStat", 0);
      Set(kStorm, "PrintStat", 0);
      if (i % 10 == 0) Set(kMain, "PrintAllStats", 0);
      if (i % 25 == 0) Set(kMain, "resetallstats", 0);
      std::this_thread::sleep_for(5ms);
    }
  }

  // Opens the second camera, grabs one frame and closes it, over and over.
  void SecondCamera() {
    while (!_stop) {
      if (!Open(kSecond)) {
        Problem("second camera did not open");
        Close(kSecond);
        continue;
      }
      const uint64_t before = Callbacks(kSecond);
      hostCalls.fetch_add(1);
      if (module->doCVLGrab(0, kSecond.port) != 1)
        Problem("doCVLGrab on the second camera failed");
      else if (!WaitFor([&] { return Callbacks(kSecond) > before; }))
        Problem("single grab delivered no frame");
      Close(kSecond);
      ++_secondCycles;
    }
  }

  void Problem(const std::string& text) {
    std::lock_guard<std::mutex> lock(_problemsLock);
    if (std::find(_problems.begin(), _problems.end(), text) == _problems.end()) _problems.push_back(text);
  }

  std::atomic<bool> _stop{false};
  std::atomic<uint64_t> _secondCycles{0};
  std::mutex _problemsLock;
  std::vector<std::string> _problems;
  std::vector<std::thread> _threads;
};

// ---- phases -----------------------------------------------------------------

struct Figures {
  size_t threads = 0;
  uint64_t secondCycles = 0;
  int hotplugStorms = 0;
  int toggles = 0;
  int closesInToggles = 0;
  int initCycles = 0;
  size_t rssFirstKiB = 0;
  size_t rssLastKiB = 0;
  uint64_t rowsChecked = 0;
};
Figures figures;

void StopThreads(HostThreads& threads, const std::string& phase) {
  threads.Stop();
  for (const std::string& problem : threads.Problems()) Fail(phase, "host thread", problem);
}

// Every entry point from several threads, a second camera cycling, the
// retrieval-failure storm of the storm camera.
void EntryPhase(Clock::duration length, bool names) {
  const std::string phase = "entry";
  StartPhase("entry");
  {
    HostThreads threads(true, names);
    figures.threads = std::max(figures.threads, threads.Count());
    std::this_thread::sleep_for(length);
    figures.secondCycles += threads.SecondCycles();
    StopThreads(threads, phase);
  }
  if (!FramesFlow(kMain)) Fail(phase, "continuous camera delivers frames", kMain.name);
  if (!FramesFlow(kStorm))
    Fail(phase, "frames flow after the retrieval-failure storm",
         std::string(kStorm.name) + ", " + std::to_string(Callbacks(kStorm)) + " frames");
  if (!StaysQuiet(kSecond)) Fail(phase, "closed camera stays quiet", kSecond.name);
  ReportViolations(phase);
}

// Capture switched on and off on a camera in trigger mode without triggers:
// every stop ends a blocked retrieval. Now and then the port is closed right
// after the toggles and opened again.
void TriggerPhase(Clock::duration length) {
  const std::string phase = "trigger";
  StartPhase("trigger");
  const uint64_t grabErrBefore = trigGrabErrors.load();
  const uint64_t retrievalErrorsBefore = trigRetrievalErrors.load();
  const auto end = Clock::now() + length;
  for (int i = 0; Clock::now() < end; ++i) {
    Set(kTrig, "continuous", 1);
    Set(kTrig, "continuous", 0);
    ++figures.toggles;
    if (i % 6 == 5) {
      Close(kTrig);
      ++figures.closesInToggles;
      if (!Open(kTrig)) Fail(phase, "trigger camera reopens", kTrig.name);
    }
  }
  int continuous = -1;
  if (module->getProperty(0, kTrig.port, "continuous", &continuous) != 1 || continuous != 0)
    Fail(phase, "capture stays off as the host left it", "continuous reads " + std::to_string(continuous));
  // A stop never turns into a grab error, which would reopen and restart
  // the camera.
  if (trigRetrievalErrors.load() != retrievalErrorsBefore)
    Fail(phase, "a retrieval ended by a stop is no error line",
         std::to_string(trigRetrievalErrors.load() - retrievalErrorsBefore) + " retrieval errors while toggling");
  if (trigGrabErrors.load() != grabErrBefore)
    Fail(phase, "a stopped retrieval is no grab error",
         std::to_string(trigGrabErrors.load() - grabErrBefore) + " grab errors while toggling capture");
  // Idle means idle, on a camera with frames to give, and continuous again
  // means frames again.
  Set(kMain, "continuous", 0);
  if (!BecomesIdle(kMain)) Fail(phase, "idle camera stops delivering", kMain.name);
  Set(kMain, "continuous", 1);
  if (!FramesFlow(kMain)) Fail(phase, "frames flow after capture is switched on again", kMain.name);
  ReportViolations(phase);
}

void RemovalAndArrival(const Role& role, int times) {
  for (int i = 0; i < times; ++i) {
    Set(role, "BusRemoval", 0);
    Set(role, "BusArrival", 0);
  }
}

// Removal and arrival storms while the host threads run: right after
// "continuous" 1, on a capturing camera, on a closed and on a never-opened
// camera.
void HotplugPhase(Clock::duration length, bool names) {
  const std::string phase = "hotplug";
  StartPhase("hotplug");
  HostThreads threads(false, names);
  figures.threads = std::max(figures.threads, threads.Count());
  const auto end = Clock::now() + length;
  for (int storm = 1; Clock::now() < end; ++storm) {
    const int size = 1 + storm % 4;
    if (storm % 2) {
      // The removal lands during the capture start.
      Set(kMain, "continuous", 0);
      if (!BecomesIdle(kMain)) Fail(phase, "idle camera stops delivering", kMain.name);
      Set(kMain, "continuous", 1);
    }
    const uint64_t opensBefore = mainOpens.load();
    RemovalAndArrival(kMain, size);
    RemovalAndArrival(kSecond, 1);  // closed by the host
    ++figures.hotplugStorms;
    // The removal closes the camera and the arrival opens it again; frames
    // counted before that reopen would prove nothing.
    if (!WaitFor([&] { return mainOpens.load() > opensBefore; })) {
      Fail(phase, "the camera is opened again after the storm",
           std::string(kMain.name) + ", storm " + std::to_string(storm));
      break;
    }
    if (!FramesFlow(kMain, 3)) {
      Fail(phase, "frames flow after the storm",
           std::string(kMain.name) + ", storm " + std::to_string(storm) + " of " + std::to_string(size) + " removals" +
               (storm % 2 ? ", right after \"continuous\" 1" : ""));
      break;  // the camera is lost; later storms would only wait out their deadlines
    }
  }
  RemovalAndArrival(kSpare, 2);  // port -1: the camera the host never opened
  StopThreads(threads, phase);
  if (!StaysQuiet(kSecond)) Fail(phase, "closed camera stays quiet after hot-plug", kSecond.name);
  if (!FramesFlow(kMain)) Fail(phase, "continuous camera ends capturing", kMain.name);
  ReportViolations(phase);
}

// An open that keeps failing; once the host closes the port the driver
// stops trying.
void FailOpenPhase() {
  const std::string phase = "failopen";
  StartPhase("failopen");
  if (Open(kBroken)) Fail(phase, "open of a camera whose video mode cannot be read fails", kBroken.name);
  Close(kBroken);
  std::this_thread::sleep_for(1500ms);  // the window in which a retry would show as an open
  ReportViolations(phase);
}

// ---- calls that may not come back -------------------------------------------

// "Returns at once": what a sound call takes even in a sanitizer build, far
// below the 5 s a call spends waiting for something that cannot come.
constexpr double kAtOnceSeconds = 1.5;
// A call or callback still out after this long is taken to hang for good.
constexpr std::chrono::milliseconds kHangDeadline{20000};

// Set when a host call or a callback did not come back by its deadline: the
// driver cannot be taken down then, so the run ends after the phase's report.
std::atomic<bool> wedged{false};

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// A host call made on a thread of its own, so that the host can stop
// waiting for it: whether it came back by the deadline, its result and how
// long it took.
struct Outcome {
  bool returned = false;
  int result = 0;
  double seconds = 0;
};

// A call that does not come back is left to itself (it owns what it uses)
// and wedges the run.
Outcome TimedCall(std::function<int()> call, std::chrono::milliseconds timeout = kHangDeadline) {
  struct Shared {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    Outcome outcome;
  };
  auto shared = std::make_shared<Shared>();
  const auto start = Clock::now();
  std::thread([shared, start, call = std::move(call)] {
    const int result = call();
    const double seconds = Seconds(Clock::now() - start);
    {
      std::lock_guard<std::mutex> lock(shared->lock);
      shared->outcome = {true, result, seconds};
      shared->finished = true;
    }
    shared->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(shared->lock);
  if (shared->done.wait_for(lock, timeout, [&] { return shared->finished; })) return shared->outcome;
  wedged = true;
  return {false, 0, Seconds(Clock::now() - start)};
}

// ---- rows -------------------------------------------------------------------

// The upper half of a simulated frame is a grey ramp across the sensor, 0 to
// 255, moved left by a quarter of the width from one frame to the next (four
// base pictures). Pixel x of a monochrome row of base picture `picture`:
unsigned char RampPixel(unsigned x, unsigned width, unsigned picture) {
  const uint64_t shifted = (x + static_cast<uint64_t>(picture % 4) * width / 4) % width;
  return static_cast<unsigned char>((shifted * 65536 / width) >> 8);
}

// The four ramp rows of a frame `width` pixels wide, one per base picture.
struct RampRows {
  explicit RampRows(unsigned width) : width(width) {
    for (unsigned picture = 0; picture < 4; ++picture)
      for (unsigned x = 0; x < width; ++x) rows[picture].push_back(RampPixel(x, width, picture));
  }

  // The base picture a whole row belongs to, or -1 for a row that is no
  // single frame's: then `why` tells how far it matches each picture.
  int PictureOf(const unsigned char* row, std::string* why) const {
    for (unsigned picture = 0; picture < 4; ++picture)
      if (std::memcmp(row, rows[picture].data(), width) == 0) return static_cast<int>(picture);
    if (why) {
      std::ostringstream text;
      for (unsigned picture = 0; picture < 4; ++picture) {
        unsigned x = 0;
        while (x < width && row[x] == rows[picture][x]) ++x;
        text << (picture ? "; " : "") << "picture " << picture << " up to pixel " << x;
        if (x < width)
          text << " (then " << static_cast<int>(row[x]) << " for " << static_cast<int>(rows[picture][x]) << ")";
      }
      *why = text.str();
    }
    return -1;
  }

  unsigned width;
  std::array<std::vector<unsigned char>, 4> rows;
};

// Bytes a pull of the whole row writes into the host's memory: the row is
// pulled into a destination filled with 0x00 and into one filled with 0xFF;
// a byte written holds the same in both.
int RowBytesWritten(int port, int row) {
  std::vector<unsigned char> zeros(16384, 0x00), ones(16384, 0xFF);
  hostCalls.fetch_add(2);
  if (module->getCVLGrabRow(0, port, zeros.data(), row, 0, 4095) != 1) return -1;
  if (module->getCVLGrabRow(0, port, ones.data(), row, 0, 4095) != 1) return -1;
  int written = 0;
  for (size_t i = 0; i < zeros.size(); ++i) written += zeros[i] == ones[i];
  return written;
}

// The row is the dummy line of a camera that is not capturing: `bytes` bytes
// of 0x78.
bool RowIsDummy(int port, int bytes) {
  std::vector<unsigned char> dest(static_cast<size_t>(bytes), 0);
  hostCalls.fetch_add(1);
  if (module->getCVLGrabRow(0, port, dest.data(), 1, 0, bytes - 1) != 1) return false;
  return std::all_of(dest.begin(), dest.end(), [](unsigned char byte) { return byte == 0x78; });
}

std::atomic<uint64_t> reuseFirstCallbacks{0};
std::atomic<uint64_t> reuseSecondCallbacks{0};
void OnCompleteReuseFirst(int, int) { reuseFirstCallbacks.fetch_add(1); }
void OnCompleteReuseSecond(int, int) { reuseSecondCallbacks.fetch_add(1); }

// A port handed from one camera to another: the second camera opened on it
// is the one the port's calls address (a 640x480 grey camera, then a
// 160x120 colour one).
void ReusePhase() {
  const std::string phase = "reuse";
  StartPhase("reuse");
  const int port = kReusedPort;
  int size[2] = {0, 0};
  if (!OpenOn(kSecond, port, size, OnCompleteReuseFirst)) Fail(phase, "the first camera opens", kSecond.name);
  int pixelSize = 0;
  if (size[0] != 640 || size[1] != 480 || module->getProperty(0, port, "PixelSize", &pixelSize) != 1 || pixelSize != 8)
    Fail(phase, "the first camera is 640x480 grey",
         std::string(kSecond.name) + ": " + std::to_string(size[0]) + "x" + std::to_string(size[1]) + ", PixelSize " +
             std::to_string(pixelSize));
  CloseOn(kSecond, port);
  const uint64_t firstCallbacks = reuseFirstCallbacks.load();
  if (!OpenOn(kReuse, port, size, OnCompleteReuseSecond)) {
    Fail(phase, "a camera opens on the port another camera had", kReuse.name);
    CloseOn(kReuse, port);
    return;
  }
  if (size[0] != 160 || size[1] != 120)
    Fail(phase, "openCVLPort gives the size of the camera it opened",
         std::to_string(size[0]) + "x" + std::to_string(size[1]) + " for " + kReuse.name + " (160x120)");
  pixelSize = 0;
  hostCalls.fetch_add(1);
  if (module->getProperty(0, port, "PixelSize", &pixelSize) != 1 || pixelSize != 24)
    Fail(phase, "getProperty addresses the camera now open on the port",
         "PixelSize reads " + std::to_string(pixelSize) + " on port " + std::to_string(port) + " (" + kReuse.name +
             " has 24, " + kSecond.name + ", closed, 8)");
  const uint64_t before = reuseSecondCallbacks.load();
  hostCalls.fetch_add(1);
  if (module->doCVLGrab(0, port) != 1) {
    Fail(phase, "doCVLGrab on the reused port starts a grab", kReuse.name);
  } else if (!WaitFor([&] { return reuseSecondCallbacks.load() > before; }, 5000ms)) {
    Fail(phase, "a grab on the reused port gives the callback of the camera open on it",
         std::string(kReuse.name) + ": no callback within 5 s");
  } else {
    // 160 colour pixels of 3 bytes; the first camera's rows are 640 bytes.
    const int written = RowBytesWritten(port, 1);
    if (written != 160 * 3)
      Fail(phase, "a row pull on the reused port gives the open camera's row",
           std::to_string(written) + " bytes written (" + kReuse.name + ": 480, " + kSecond.name + ": 640)");
  }
  if (reuseFirstCallbacks.load() != firstCallbacks)
    Fail(phase, "the camera that left the port gives no callback", kSecond.name);
  CloseOn(kReuse, port);
  ReportViolations(phase);
}

// The camera is open again after a removal and arrival or a "Reset": its
// open line came and the open is done (its parameters can be read).
bool ReopenedSince(const Role& role, uint64_t opensBefore) {
  return WaitFor([&] {
    if (Opens(role) <= opensBefore) return false;
    int value = 0;
    return module->getProperty(0, role.port, "Brightness", &value) == 1;
  });
}

// Idle cameras, one never grabbed and one whose single grab was delivered,
// through removal and arrival, and through "Reset": the camera is closed and
// opened again and stays idle, no frame comes.
void IdlePhase() {
  const std::string phase = "idle";
  StartPhase("idle");
  struct Case {
    const Role& role;
    bool grabbedOnce;
    bool reset;  // "Reset"; otherwise removal and arrival
  };
  const Case cases[] = {
      {kIdle, false, false}, {kOnce, true, false}, {kIdleReset, false, true}, {kOnceReset, true, true}};
  auto event = [](const Case& c) { return std::string(c.reset ? "\"Reset\"" : "removal and arrival"); };
  for (const Case& c : cases)
    if (!Open(c.role)) Fail(phase, "open", c.role.name);
  for (const Case& c : cases) {
    if (!c.grabbedOnce) continue;
    const uint64_t before = Callbacks(c.role);
    hostCalls.fetch_add(1);
    if (module->doCVLGrab(0, c.role.port) != 1 || !WaitFor([&] { return Callbacks(c.role) > before; }))
      Fail(phase, "a single grab delivers its frame", c.role.name);
  }
  std::vector<uint64_t> framesBefore, opensBefore;
  for (const Case& c : cases) {
    framesBefore.push_back(Callbacks(c.role));
    opensBefore.push_back(Opens(c.role));
  }
  for (const Case& c : cases) {
    if (c.reset) {
      Set(c.role, "Reset", 0);
    } else {
      Set(c.role, "BusRemoval", 0);
      Set(c.role, "BusArrival", 0);
    }
  }
  bool reopened = true;
  for (size_t i = 0; i < std::size(cases); ++i) {
    if (!ReopenedSince(cases[i].role, opensBefore[i])) {
      Fail(phase, "the camera is opened again after " + event(cases[i]), cases[i].role.name);
      reopened = false;
    }
  }
  // A capture restarted by the reopen would deliver within a few frame times.
  if (reopened) std::this_thread::sleep_for(1000ms);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const uint64_t frames = Callbacks(cases[i].role) - framesBefore[i];
    if (frames != 0)
      Fail(phase, "an idle camera delivers no frame through " + event(cases[i]),
           std::string(cases[i].role.name) +
               (cases[i].grabbedOnce ? " (its single grab delivered)" : " (never grabbed)") + ": " +
               std::to_string(frames) + " frames");
  }
  for (const Case& c : cases) Close(c.role);
  ReportViolations(phase);
}

// A camera removed and left away (the driver waits up to 10 s for it to come
// back) while the host closes another camera and opens it again, once an
// idle one and once a capturing one right after its own removal (the host's
// close queued behind the removal's): nothing of it waits for the away
// camera's deadline.
void GracePhase() {
  const std::string phase = "grace";
  StartPhase("grace");
  const Role& first = kIdle;
  if (!Open(first) || !Open(kAway)) Fail(phase, "open", std::string(first.name) + ", " + kAway.name);
  const uint64_t awayOpens = Opens(kAway);
  Set(kAway, "BusRemoval", 0);
  // Away once the driver has closed it: its parameters cannot be read.
  if (!WaitFor([&] {
        int value = 0;
        return module->getProperty(0, kAway.port, "Brightness", &value) == 0;
      }))
    Fail(phase, "a removed camera is closed", kAway.name);

  constexpr double kCloseSeconds = 2.5;  // about 1 s, with a sanitizer's margin
  constexpr double kOpenSeconds = 4.0;   // about 2 s, with a sanitizer's margin
  const int port = first.port;
  const char* name = first.name;
  for (const bool removedToo : {false, true}) {
    const std::string which = std::string(name) + (removedToo ? ", capturing and just removed itself" : ", idle");
    if (removedToo) {
      Set(first, "continuous", 1);
      if (!FramesFlow(first, 1)) Fail(phase, "continuous camera delivers frames", name);
      Set(first, "BusRemoval", 0);
    }
    portState[static_cast<size_t>(port)] = kClosing;
    const Outcome closed = TimedCall([port] {
      module->closeCVLPort(0, port);
      return 1;
    });
    if (!closed.returned) {
      Fail(phase, "closeCVLPort while another camera is away returns", which + ": not within 20 s");
      return;
    }
    portState[static_cast<size_t>(port)] = kClosed;
    if (closed.seconds > kCloseSeconds)
      Fail(phase, "closeCVLPort while another camera is away returns within about 1 s",
           which + ": " + SecondsText(closed.seconds));

    portState[static_cast<size_t>(port)] = kOpening;
    const Outcome opened = TimedCall([port, name] {
      int size[2] = {0, 0};
      return module->openCVLPort(0, port, name, size);
    });
    portState[static_cast<size_t>(port)] = kOpen;
    if (!opened.returned) {
      Fail(phase, "openCVLPort while another camera is away returns", which + ": not within 20 s");
      return;
    }
    if (opened.result != 1 || opened.seconds > kOpenSeconds)
      Fail(phase, "a reopen while another camera is away succeeds within about 2 s",
           which + ": " + (opened.result == 1 ? "opened" : "failed") + " after " + SecondsText(opened.seconds));
    if (opened.result == 1) module->setCompleteCallback(0, port, OnComplete);
  }

  Set(kAway, "BusArrival", 0);
  if (!ReopenedSince(kAway, awayOpens)) Fail(phase, "the removed camera is opened again on its arrival", kAway.name);
  Close(first);
  Close(kAway);
  ReportViolations(phase);
}

// Two host threads pull the same rows of a free-running camera, outside the
// completion callback: every row they get is whole, one frame's.
void RowsPhase(Clock::duration length) {
  const std::string phase = "rows";
  StartPhase("rows");
  int size[2] = {0, 0};
  if (!OpenOn(kRows, kRows.port, size) || size[0] <= 0 || size[1] < 4) {
    Fail(phase, "open", kRows.name);
    Close(kRows);
    return;
  }
  const auto width = static_cast<unsigned>(size[0]);
  const int rows = std::min(2, size[1] - 1);  // rows 1 and 2: row 0 carries the frame number
  // Level 1 spares the frames their level-2 lines: more frames, more rows
  // converted while another thread copies.
  Set(kRows, "loglevel", 1);
  Set(kRows, "continuous", 1);
  if (!FramesFlow(kRows)) Fail(phase, "a free-running camera delivers frames", kRows.name);
  struct Puller {
    uint64_t pulled = 0;
    uint64_t broken = 0;
    unsigned pictures = 0;  // bit p: a row of base picture p came
    std::string firstBroken;
  };
  std::array<Puller, 2> pullers;
  const RampRows ramp(width);
  // The phase's time, and on a slow (sanitizer) build on until the thread has
  // seen rows of two frames, for at most 15 s more.
  const auto end = Clock::now() + length;
  const auto lastEnd = end + 15s;
  std::vector<std::thread> threads;
  for (Puller& puller : pullers) {
    threads.emplace_back([&puller, end, lastEnd, &ramp, width, rows] {
      std::vector<unsigned char> dest(width);
      for (;;) {
        const auto now = Clock::now();
        if (now >= lastEnd || (now >= end && std::popcount(puller.pictures) >= 2)) break;
        for (int row = 1; row <= rows; ++row) {
          hostCalls.fetch_add(1);
          if (module->getCVLGrabRow(0, kRows.port, dest.data(), row, 0, static_cast<int>(width) - 1) != 1) continue;
          ++puller.pulled;
          std::string why;
          const int picture = ramp.PictureOf(dest.data(), puller.firstBroken.empty() ? &why : nullptr);
          if (picture >= 0) {
            puller.pictures |= 1u << picture;
          } else {
            if (puller.firstBroken.empty()) puller.firstBroken = "row " + std::to_string(row) + ": " + why;
            ++puller.broken;
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  Set(kRows, "continuous", 0);
  Set(kRows, "loglevel", 2);
  Close(kRows);
  figures.rowsChecked = pullers[0].pulled + pullers[1].pulled;
  for (const Puller& puller : pullers) {
    if (puller.broken)
      Fail(phase, "a row pulled by two host threads at once is one frame's",
           std::to_string(puller.broken) + " of " + std::to_string(puller.pulled) +
               " rows stitched from frames or not a frame's; first: " + puller.firstBroken);
    // Rows of several frames came, or the pulls proved nothing.
    if (std::popcount(puller.pictures) < 2)
      Fail(phase, "rows pulled from a free-running camera come from changing frames",
           std::to_string(puller.pulled) + " rows pulled, " + std::to_string(std::popcount(puller.pictures)) +
               " base pictures seen");
  }
  ReportViolations(phase);
}

// What the completion callback of kCall does on its next call.
enum CallAction : int { kNothing, kCloseAction, kFinalizeAction };

struct CallProbe {
  std::atomic<int> action{kNothing};
  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> afterClose{0};  // callbacks begun after the closing one returned
  std::atomic<bool> closingReturned{false};
  std::atomic<bool> actionDone{false};
  std::atomic<int> actionResult{-1};
  std::atomic<double> actionSeconds{0};
};
CallProbe callProbe;

void OnCompleteCall(int, int portNo) {
  if (callProbe.closingReturned) callProbe.afterClose.fetch_add(1);
  callProbe.calls.fetch_add(1);
  const int action = callProbe.action.exchange(kNothing);
  if (action == kNothing) return;
  const auto start = Clock::now();
  if (action == kCloseAction) {
    portState[static_cast<size_t>(kCall.port)] = kClosing;
    module->closeCVLPort(0, portNo);
    portState[static_cast<size_t>(kCall.port)] = kClosed;
    callProbe.actionResult = 1;
  } else {
    callProbe.actionResult = module->finalize();
  }
  callProbe.actionSeconds = Seconds(Clock::now() - start);
  callProbe.actionDone = true;
  if (action == kCloseAction) callProbe.closingReturned = true;
}

// closeCVLPort and finalize called inside a completion callback, on the
// driver's grab thread: the close returns at once and takes effect when the
// callback has returned; finalize is refused there and leaves the reference
// count alone.
void CallbackPhase(const std::string& systemPath) {
  const std::string phase = "callback";
  StartPhase("callback");
  const int port = kCall.port;
  int size[2] = {0, 0};
  if (!OpenOn(kCall, port, size, OnCompleteCall) || size[0] <= 0) {
    Fail(phase, "open", kCall.name);
    Close(kCall);
    return;
  }
  Set(kCall, "continuous", 1);
  if (!WaitFor([] { return callProbe.calls.load() >= 2; }))
    Fail(phase, "continuous camera delivers frames", kCall.name);
  callProbe.actionDone = false;
  callProbe.action = kCloseAction;
  if (!WaitFor([] { return callProbe.actionDone.load(); }, kHangDeadline)) {
    Fail(phase, "closeCVLPort inside the camera's own completion callback returns",
         std::string(kCall.name) + ": not within 20 s");
    wedged = true;
    return;
  }
  if (callProbe.actionSeconds > kAtOnceSeconds)
    Fail(phase, "closeCVLPort inside the camera's own completion callback returns at once",
         std::string(kCall.name) + ": " + SecondsText(callProbe.actionSeconds));
  // Closed once the callback has returned: rows give the dummy line, no
  // callback follows, and the host can open it again.
  if (!WaitFor([&] { return RowIsDummy(port, size[0]); }, 3000ms))
    Fail(phase, "a camera closed in its callback gives the dummy line", kCall.name);
  const uint64_t after = callProbe.afterClose.load();
  std::this_thread::sleep_for(500ms);  // the window in which a further frame (30 fps) would show
  if (callProbe.afterClose.load() != 0)
    Fail(phase, "no callback after the closing callback returned",
         std::string(kCall.name) + ": " + std::to_string(callProbe.afterClose.load()) + " callbacks (" +
             std::to_string(after) + " before the dummy line)");
  callProbe.closingReturned = false;
  if (!OpenOn(kCall, port, size, OnCompleteCall)) {
    Fail(phase, "a camera closed in its callback opens again", kCall.name);
    Close(kCall);
    return;
  }

  // finalize from the grab thread, with a second reference of the host's so
  // that the count stays above 0 even where the call is not refused.
  Set(kCall, "loglevel", 1);
  initRefcount = -1;
  if (module->initialize(systemPath.c_str(), OnLog) != 1) Fail(phase, "initialize", "a second reference");
  const int counted = initRefcount.load();  // the host's references, this one included
  if (counted < 2) {
    Fail(phase, "the initialize line gives the reference count", "refcount " + std::to_string(counted));
    Set(kCall, "loglevel", 2);
    module->finalize();
    Close(kCall);
    return;
  }
  finalizeLines = 0;
  countFinalizeLines = true;
  callProbe.actionDone = false;
  callProbe.action = kFinalizeAction;
  hostCalls.fetch_add(1);
  if (module->doCVLGrab(0, port) != 1) Fail(phase, "doCVLGrab", kCall.name);
  if (!WaitFor([] { return callProbe.actionDone.load(); }, kHangDeadline)) {
    Fail(phase, "finalize inside a completion callback returns", std::string(kCall.name) + ": not within 20 s");
    wedged = true;
    return;
  }
  if (callProbe.actionResult != 0)
    Fail(phase, "finalize inside a completion callback is refused",
         "returned " + std::to_string(callProbe.actionResult.load()));
  if (callProbe.actionSeconds > kAtOnceSeconds)
    Fail(phase, "finalize inside a completion callback returns at once", SecondsText(callProbe.actionSeconds));
  if (!WaitFor([] { return finalizeLines.load() > 0; }, 2000ms))
    Fail(phase, "a level-1 line says finalize was refused", "no line about finalize at log level 1");
  countFinalizeLines = false;
  Set(kCall, "loglevel", 2);
  initRefcount = -1;
  module->initialize(systemPath.c_str(), OnLog);
  const int now = initRefcount.load();
  if (now != counted + 1)
    Fail(phase, "a refused finalize leaves the reference count",
         std::to_string(counted) + " references before it, " + std::to_string(now - 1) + " after");
  // Back to the references the phase began with, by the host's finalize on
  // its own thread, and proof that each took one away.
  const int base = counted - 1;
  for (int count = now; count > base && count > 1; --count)
    if (module->finalize() != 1) Fail(phase, "finalize on the host's thread", "returned 0");
  initRefcount = -1;
  module->initialize(systemPath.c_str(), OnLog);
  if (initRefcount.load() != base + 1)
    Fail(phase, "finalize on the host's thread takes its reference away",
         "refcount " + std::to_string(initRefcount.load()) + " after an initialize, " + std::to_string(base + 1) +
             " expected");
  module->finalize();
  Close(kCall);
  ReportViolations(phase);
}

// A log callback that calls getProperty and setProperty on the port whose
// call logged the line, at log level 1, from two host threads on two cameras:
// every call comes back, nothing deadlocks, and the lines reach each thread
// whole (timestamp, then message) and in the order of its calls.
void LogCallsPhase() {
  const std::string phase = "logcalls";
  StartPhase("logcalls");
  const Role* cameras[] = {&kLogA, &kCall};
  for (const Role* role : cameras)
    if (!Open(*role)) Fail(phase, "open", role->name);
  Set(kLogA, "loglevel", 1);
  constexpr int kCalls = 20;
  constexpr int kValueStep = 1000000;
  struct Worker {
    LogCallsRecord record;
    Clock::duration longestCall{};
    std::atomic<int> callsMade{0};
    std::atomic<bool> done{false};
  };
  auto workers = std::make_shared<std::array<Worker, 2>>();
  for (size_t i = 0; i < 2; ++i) {
    const int port = cameras[i]->port;
    std::thread([workers, i, port] {
      Worker& worker = (*workers)[i];
      worker.record.port = port;
      logCallsRecord = &worker.record;
      for (int call = 1; call <= kCalls; ++call) {
        worker.record.callsBack = 1;
        const auto start = Clock::now();
        hostCalls.fetch_add(1);
        // Outside 0..255: a level-1 line, whose value ("4.29397e+09", six
        // digits) tells the calls apart.
        module->setProperty(0, port, "Brightness", -kValueStep * call);
        worker.longestCall = std::max(worker.longestCall, Clock::now() - start);
        worker.callsMade = call;
      }
      logCallsRecord = nullptr;
      worker.done = true;
    }).detach();
  }
  if (!WaitFor([&] { return (*workers)[0].done && (*workers)[1].done; }, kHangDeadline)) {
    std::string stuck;
    for (size_t i = 0; i < 2; ++i)
      if (!(*workers)[i].done)
        stuck += std::string(stuck.empty() ? "" : "; ") + cameras[i]->name + ": setProperty(\"Brightness\", -" +
                 std::to_string((*workers)[i].callsMade + 1) + ") not back after 20 s";
    Fail(phase, "a log callback that calls getProperty/setProperty deadlocks nothing", stuck);
    wedged = true;
    return;
  }
  for (size_t i = 0; i < 2; ++i) {
    const Worker& worker = (*workers)[i];
    const std::string name = cameras[i]->name;
    if (Seconds(worker.longestCall) > kAtOnceSeconds)
      Fail(phase, "setProperty whose line calls back into the driver returns at once",
           name + ": " + SecondsText(Seconds(worker.longestCall)));
    if (Seconds(worker.record.longestCallBack) > kAtOnceSeconds)
      Fail(phase, "getProperty/setProperty inside the log callback return at once",
           name + ": " + SecondsText(Seconds(worker.record.longestCallBack)));
    // Whole: a timestamp ("dd/mm/y y hh:mm:ss: "), then its message.
    const std::vector<std::string>& texts = worker.record.texts;
    for (size_t t = 0; t < texts.size(); ++t) {
      const std::string& text = texts[t];
      const bool stamp = text.size() >= 4 && text.size() < 40 && std::isdigit(static_cast<unsigned char>(text[0])) &&
                         text.compare(text.size() - 2, 2, ": ") == 0 && text.find('\n') == std::string::npos;
      const bool message = !stamp && !text.empty() && text.back() == '\n';
      if (t % 2 == 0 ? !stamp : !message) {
        Fail(phase, "log lines reach the thread whole, timestamp then message",
             name + ": text " + std::to_string(t) + " of " + std::to_string(texts.size()) + " is \"" +
                 text.substr(0, 80) + "\"");
        break;
      }
    }
    if (texts.size() % 2)
      Fail(phase, "log lines reach the thread whole, timestamp then message",
           name + ": a timestamp without its message");
    // In order: the value of each failed write is in its line; the host's
    // calls wrote -1, -2, ... million (as unsigned: 2^32 - 10^6, ...).
    std::vector<int> seen;
    for (const std::string& text : texts) {
      const size_t at = text.find("Brightness: value ");
      if (at == std::string::npos) continue;
      const double value = std::strtod(text.c_str() + at + 18, nullptr);
      seen.push_back(static_cast<int>(std::lround((4294967296.0 - value) / kValueStep)));
    }
    if (!std::is_sorted(seen.begin(), seen.end())) {
      std::string order;
      for (int value : seen) order += " -" + std::to_string(value);
      Fail(phase, "log lines reach the thread in the order of its calls",
           name + ": the failed writes' lines come in the order" + order);
    }
    std::set<int> calls(seen.begin(), seen.end());
    for (int call = 1; call <= kCalls; ++call)
      if (!calls.count(call)) {
        Fail(phase, "each failed Brightness write logs its line",
             name + ": no line for setProperty(\"Brightness\", -" + std::to_string(call) + "), " +
                 std::to_string(seen.size()) + " lines of failed writes in all");
        break;
      }
  }
  Set(kLogA, "loglevel", 2);
  for (const Role* role : cameras) {
    Set(*role, "Brightness", 0);
    Close(*role);
  }
  ReportViolations(phase);
}

// initialize .. finalize with a capturing camera, the resident size watched.
void CyclesPhase(Clock::duration length, const std::string& systemPath) {
  const std::string phase = "cycles";
  StartPhase("cycles");
  // The setup's own reference is released first, so that each finalize
  // takes the driver down.
  for (const Role* role : {&kMain, &kStorm, &kTrig}) portState[static_cast<size_t>(role->port)] = kClosing;
  module->finalize();
  for (const Role* role : {&kMain, &kStorm, &kTrig}) portState[static_cast<size_t>(role->port)] = kClosed;
  ReportViolations(phase);
  const auto end = Clock::now() + length;
  std::vector<size_t> resident;
  for (int cycle = 0; Clock::now() < end || cycle < 3; ++cycle) {
    if (module->initialize(systemPath.c_str(), OnLog) != 1) {
      Fail(phase, "initialize", "cycle " + std::to_string(cycle));
      break;
    }
    if (!Open(kMain)) {
      Fail(phase, "open after initialize", "cycle " + std::to_string(cycle));
    } else {
      Set(kMain, "continuous", 1);
      if (!FramesFlow(kMain, 2)) Fail(phase, "frames after initialize", "cycle " + std::to_string(cycle));
    }
    portState[static_cast<size_t>(kMain.port)] = kClosing;
    module->finalize();
    portState[static_cast<size_t>(kMain.port)] = kClosed;
    ++figures.initCycles;
    resident.push_back(ResidentKiB());
  }
  if (!StaysQuiet(kMain, 500ms)) Fail(phase, "no frames after finalize", kMain.name);
  ReportViolations(phase);
  // Growth after the first cycles have warmed up the allocator.
  if (resident.size() >= 3) {
    figures.rssFirstKiB = resident[1];
    figures.rssLastKiB = resident.back();
    constexpr size_t kAllowedGrowthKiB = 32 * 1024;
    if (figures.rssLastKiB > figures.rssFirstKiB + kAllowedGrowthKiB)
      Fail(phase, "resident size bounded over the cycles",
           std::to_string(figures.rssFirstKiB) + " KiB after cycle 2, " + std::to_string(figures.rssLastKiB) +
               " KiB after cycle " + std::to_string(resident.size()));
  }
}

bool Wanted(const std::string& phases, const std::string& phase) {
  if (phases.empty() || phases == "all") return true;
  std::stringstream list(phases);
  for (std::string item; std::getline(list, item, ',');)
    if (item == phase) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* secondsText = argc > 1 ? argv[1] : std::getenv("VQ_STRESS_SECONDS");
  const char* phasesText = argc > 2 ? argv[2] : std::getenv("VQ_STRESS_PHASES");
  const double seconds = secondsText && *secondsText ? std::atof(secondsText) : 20.0;
  const std::string phases = phasesText ? phasesText : "";
  const auto started = Clock::now();
  auto share = [&](double part) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds * part));
  };

#ifndef VQ_STRESS_SANITIZED
  for (int signalNumber : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(signalNumber, OnCrash);
#endif
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (const char* copy = std::getenv("VQ_STRESS_LOG"); copy && *copy) logCopy = std::fopen(copy, "w");
  char pattern[] = "/tmp/vq-stress-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("mkdtemp");
    return 2;
  }
  const std::string dir = pattern;
  std::ofstream(dir + "/fleet.json") << kFleet;
  // Level 2 for the open and state lines the checks read, from the start and
  // at every open.
  std::ofstream(dir + "/VorquellCamera.ini") << "[General]\nLogLevel=2\n";
  setenv("VORQUELL_LOG_LEVEL", "2", 1);
  setenv("VORQUELL_SIM_FLEET", (dir + "/fleet.json").c_str(), 1);
  setenv("VORQUELL_DEBUG_OUTPUT", "none", 1);
  for (size_t i = 0; i < std::size(kRoles); ++i) hostPort[i] = kRoles[i]->port;

  Module loaded(VQ_MODULE_PATH);
  module = &loaded;
  if (module->initialize(dir.c_str(), OnLog) != 1) {
    Fail("setup", "initialize", dir);
    return 1;
  }
  if (module->getCVLNoOfSupportedCameras() != kFleetSize)
    Fail("setup", "every fleet camera listed", std::to_string(module->getCVLNoOfSupportedCameras()) + " cameras");
  for (const Role* role : {&kMain, &kStorm, &kTrig})
    if (!Open(*role)) Fail("setup", "open", role->name);
  Set(kMain, "continuous", 1);
  Set(kStorm, "continuous", 1);

  if (failures == 0) {
    // Each phase runs only while no earlier one has left a call hanging in
    // the driver.
    const std::pair<const char*, std::function<void()>> run[] = {
        {"entry", [&] { EntryPhase(share(0.12), Wanted(phases, "names")); }},
        {"trigger", [&] { TriggerPhase(share(0.06)); }},
        {"hotplug", [&] { HotplugPhase(share(0.12), Wanted(phases, "names")); }},
        {"failopen", [] { FailOpenPhase(); }},
        {"reuse", [] { ReusePhase(); }},
        {"idle", [] { IdlePhase(); }},
        {"grace", [] { GracePhase(); }},
        {"rows", [&] { RowsPhase(share(0.05)); }},
        {"callback", [&] { CallbackPhase(dir); }},
        {"logcalls", [] { LogCallsPhase(); }},
        {"cycles", [&] { CyclesPhase(share(0.08), dir); }},
    };
    for (const auto& [name, phase] : run)
      if (!wedged && Wanted(phases, name)) phase();
  }
  if (!wedged && !Wanted(phases, "cycles")) module->finalize();

  runningPhase = "end";
  const double runTime = std::chrono::duration<double>(Clock::now() - started).count();
  std::printf(
      "stress: %.1f s, %zu host threads, %llu host calls, frames main/second/storm %llu/%llu/%llu, %llu rows in "
      "callbacks, %llu second-camera cycles, %d capture toggles (%d closes), %d hot-plug storms, %llu rows checked "
      "by two threads, %d init/finalize cycles, RSS %zu -> %zu KiB, %llu grab errors, %llu log lines, %d failures\n",
      runTime, figures.threads, static_cast<unsigned long long>(hostCalls.load()),
      static_cast<unsigned long long>(Callbacks(kMain)), static_cast<unsigned long long>(Callbacks(kSecond)),
      static_cast<unsigned long long>(Callbacks(kStorm)), static_cast<unsigned long long>(rowsPulled.load()),
      static_cast<unsigned long long>(figures.secondCycles), figures.toggles, figures.closesInToggles,
      figures.hotplugStorms, static_cast<unsigned long long>(figures.rowsChecked), figures.initCycles,
      figures.rssFirstKiB, figures.rssLastKiB, static_cast<unsigned long long>(grabErrLines.load()),
      static_cast<unsigned long long>(logLines.load()), failures);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  if (wedged) {
    // A call is still hanging in the driver: it cannot be finalized or
    // unloaded, so the process ends here.
    std::printf("stress: a call into the driver did not come back; the run ends without finalize\n");
    std::fflush(stdout);
    std::_Exit(1);
  }
  return failures == 0 ? 0 : 1;
}
