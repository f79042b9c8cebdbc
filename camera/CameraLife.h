#pragma once
// A camera's life in one place: its states, the requests the bus thread
// carries out, what each request does in each state, which states each of the
// camera's own operations refuses (with the line it logs), and every
// transition any thread makes. The request queue (CameraState::AddRequest),
// the bus thread's request handling (CameraList::HandleCameraStateRequest) and
// the camera's guards read these tables; nothing else decides on a state or
// on what becomes of a request.
//
// Side conditions that are not states stay with their owners (whether the
// host has the camera open, a callback that still runs, a removal's grace, the
// pause before a reopen, whether the host asks for continuous frames); the
// rows below name the one each of them consults.
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "log/DriverContext.h"

namespace vq {

enum CamState : int32_t {
  CamNotInit = 0,
  CamClosed = 1,
  CamOpened = 2,
  CamOpenErr = 3,
  CamGrabErr = 4,
  CamCapture = 5,
  CamDestroy = 6,
};

enum StateRequest : int32_t {
  ReqNotAssigned = 0,
  ReqCameraOpen = 1,
  ReqCameraOpenOnArrival = 2,
  ReqCameraClose = 3,
  ReqCameraCloseOpen = 4,
  ReqCameraDestroy = 5,
  ReqCaptureStart = 6,
  ReqCaptureCont = 7,
  ReqCaptureStop = 8,
  ReqApplyTriggerStrobe = 9,
};

const char* StateName(int32_t state);
const char* RequestName(int32_t request);

namespace life {

// A set of states, one bit each.
using StateSet = uint32_t;
template <class... States>
constexpr StateSet In(States... states) {
  return ((StateSet{1} << static_cast<int>(states)) | ...);
}
constexpr StateSet kAnyState = ~StateSet{0};
constexpr StateSet AllBut(StateSet states) { return ~states; }
constexpr bool Holds(StateSet states, CamState state) {
  return state >= 0 && state < 32 && (states & (StateSet{1} << static_cast<int>(state))) != 0;
}

// A log line: its level and its printf format. The format's arguments are
// named with each line.
struct Line {
  int level = kLogError;
  const char* text = nullptr;  // null: refused without a line
};

// Logs `line` with the arguments its row names; nothing for a line without text.
template <class... Args>
void LogLine(DriverContext* context, const Line& line, Args... args) {
  if (!line.text) return;
  if constexpr (sizeof...(Args) == 0)
    WriteLog(context, line.level, "%s", line.text);
  else
    WriteLog(context, line.level, line.text, args...);
}

// ---- queueing a request ------------------------------------------------------

// What CameraState::AddRequest does with a request, decided from the requests
// already queued.
enum class Queueing : uint8_t {
  kIgnoredBehindDestroy,    // a destroy is queued last: nothing goes behind it
  kCloseOpenAlreadyQueued,  // a close-and-reopen behind a close and an open: ignored
  kCloseOpenExpanded,       // a close-and-reopen is queued as ReqCameraClose, ReqCameraOpenOnArrival
  kDestroyNext,             // the queue is cleared and the destroy queued alone
  kDestroyBehindRunning,    // the same, but the front request stays: the bus thread is carrying it out
  kRepeatIgnored,           // the request is queued last already
  kAppended,                // queued last
};

struct QueueingRow {
  Queueing outcome;
  Line line;                    // logged after the queue lock is released; arguments: see the row
  bool wakesBusThread = false;  // the queue changed
};

// The request's name and the camera's serial number.
constexpr Line kIgnoredBehindDestroyLine{
    kLogInfo, "CameraState::AddRequest: WARNING: request %s ignored, camera has destructing request, ser# %d\n"};
// The request's name (ReqCameraCloseOpen) and the camera's serial number.
constexpr Line kCloseOpenAlreadyQueuedLine{
    kLogInfo, "CameraState::AddRequest: WARNING: request %s ignored, Open and Close already in queue, camera# %d\n"};
// The camera's serial number.
constexpr Line kCloseOpenExpandedLine{kLogDetail,
                                      "CameraState::AddRequest: request Close/Open added, camera ser# %d\n"};
// The request's name, the camera's serial number and the queue's size after it.
constexpr Line kRequestAddedLine{kLogInfo, "CameraState::AddRequest: request %s added, ser#%d, queue size=%d\n"};
// The request's name and the camera's serial number.
constexpr Line kRepeatIgnoredLine{
    kLogInfo, "CameraState::AddRequest: WARNING: req %s ignored, the same req is already in queue, camera# %d\n"};

// One row per outcome, in the order of Queueing.
inline constexpr QueueingRow kQueueingRows[] = {
    {Queueing::kIgnoredBehindDestroy, kIgnoredBehindDestroyLine},
    {Queueing::kCloseOpenAlreadyQueued, kCloseOpenAlreadyQueuedLine},
    {Queueing::kCloseOpenExpanded, kCloseOpenExpandedLine, true},
    {Queueing::kDestroyNext, kRequestAddedLine, true},
    {Queueing::kDestroyBehindRunning, kRequestAddedLine, true},
    {Queueing::kRepeatIgnored, kRepeatIgnoredLine},
    {Queueing::kAppended, kRequestAddedLine, true},
};

constexpr bool RowsFollowTheirOutcomes() {
  for (size_t i = 0; i < std::size(kQueueingRows); ++i)
    if (static_cast<size_t>(kQueueingRows[i].outcome) != i) return false;
  return true;
}
static_assert(RowsFollowTheirOutcomes(), "kQueueingRows must list the outcomes in the order of Queueing");

constexpr const QueueingRow& RowOf(Queueing outcome) { return kQueueingRows[static_cast<size_t>(outcome)]; }

// A request whose work is fixed when the bus thread begins it: a capture
// start serves the frames owed then (the grab thread may deliver them all
// before the request is done), a trigger and strobe update writes the values
// read then. A repeat of it while it is carried out asks for more.
constexpr bool RepeatAsksForMore(StateRequest request) {
  return request == ReqCaptureStart || request == ReqApplyTriggerStrobe;
}

// What becomes of `request` queued behind `queued` (oldest first; anything
// with std::size and operator[], such as the camera's deque). `busy` says
// whether the bus thread is carrying out one of the camera's requests, which
// is then the front one (CameraState::Busy).
//
// Nothing is queued behind a destroy, nor a repeat of the request queued
// last, unless that one is being carried out and the repeat asks for more. A
// close-and-reopen becomes a close and a reopen unless a close and an open
// are the last two queued (an open behind anything else, say a capture start,
// still gets its own close-and-reopen). A destroy goes next: nothing queued
// may hold it up (a reopen waiting out a removal's grace), only the request
// being carried out stays before it.
template <class Queue>
constexpr Queueing QueueingOf(const Queue& queued, StateRequest request, bool busy) {
  const size_t n = std::size(queued);
  const StateRequest last = n >= 1 ? queued[n - 1] : ReqNotAssigned;
  const StateRequest beforeLast = n >= 2 ? queued[n - 2] : ReqNotAssigned;
  if (last == ReqCameraDestroy) return Queueing::kIgnoredBehindDestroy;
  if (request == ReqCameraCloseOpen) {
    const bool openLast = last == ReqCameraOpen || last == ReqCameraOpenOnArrival;
    return beforeLast == ReqCameraClose && openLast ? Queueing::kCloseOpenAlreadyQueued : Queueing::kCloseOpenExpanded;
  }
  if (request == ReqCameraDestroy) return busy && n >= 1 ? Queueing::kDestroyBehindRunning : Queueing::kDestroyNext;
  // An empty queue has no last request to repeat, not even ReqNotAssigned.
  if (n >= 1 && last == request && !(busy && n == 1 && RepeatAsksForMore(request))) return Queueing::kRepeatIgnored;
  return Queueing::kAppended;
}

// ---- the bus thread: what each request does in each state -----------------

// What the bus thread does with the request at the front of a camera's queue.
enum class Step : uint8_t {
  kNoAction,            // kNoActionLine, and the request is done
  kDrop,                // done, nothing logged (ReqNotAssigned)
  kDropCloseOpen,       // kCloseOpenIgnoredLine: AddRequest expands it, so it is never queued itself
  kOpen,                // Camera::DoOpen
  kReopen,              // BusPresence::Clear, then Camera::DoReopen
  kClose,               // Camera::DoClose
  kStopCapture,         // Camera::DoStopCapture
  kStartCapture,        // Camera::DoStartCapture
  kStartContinuous,     // Camera::DoStartContinuousCapture
  kGrabAgain,           // Camera::DoGrabAgain
  kApplyTriggerStrobe,  // Camera::DoApplyTriggerStrobe
  kDestroy,             // the state changes to Destroy directly
};

// A side condition consulted before the step.
enum class Gate : uint8_t {
  kNone,
  // HostCallback::Hold: while the host's callback runs the request stays
  // queued (the callback's return wakes the bus thread).
  kCallbacksHeld,
  // A reopen: dropped with kReopenDroppedLine once the host has closed the
  // camera (Camera::HostOpen); otherwise the row's note is logged, and the
  // request stays queued during a removal's grace (kRemovalGraceLine, until
  // the camera arrives or the grace ends) and during the pause after an
  // error (CameraList's reopen pause).
  kReopen,
  // Only while the host asks for single frames (Camera::AsksContinuous is
  // false); while it asks for continuous frames: kNoActionLine.
  kNotContinuous,
};

// After the step: the request is done, or it stays at the front of the queue
// and is tried again in the state the step led to.
enum class Then : uint8_t { kDone, kKeep };

struct RequestRule {
  Step step = Step::kNoAction;
  Gate gate = Gate::kNone;
  Then then = Then::kDone;
  // Logged before the step (with the camera's tag), after the gate's own check.
  Line note{};
};

struct RequestRow {
  StateRequest request;
  StateSet states;
  RequestRule rule;
};

// "%s, %s": the state's and the request's names.
constexpr Line kNoActionLine{
    kLogError,
    "CameraList::HandleCameraStateRequest: WARNING OR ERROR: No action can be taken, state=%s, stateRequest=%s\n"};
// No arguments.
constexpr Line kCloseOpenIgnoredLine{kLogError,
                                     "CameraList::HandleCameraStateRequest WARNING: ReqCameraCloseOpen ignored\n"};
// The camera's tag.
constexpr Line kReopenDroppedLine{
    kLogInfo, "Camera::HandleCameraStateRequest: reopen dropped, the host has closed the camera, %s\n"};
constexpr Line kReopenNotClosedLine{
    kLogError, "Camera::HandleCameraStateRequest: WARNING: camera should have been in closed state, %s\n"};
constexpr Line kRemovalGraceLine{kLogDetail,
                                 "Camera::HandleCameraStateRequest: skipping ReqCameraOpenOnArrival for a while, %s\n"};

// The first row whose request and state match decides; a pair without a row
// is kNoActionLine. Closing and destroying a capturing camera stop the capture
// first and stay queued; a destroy of an open camera closes it and stays
// queued until the camera is Closed.
inline constexpr RequestRow kRequestRows[] = {
    {ReqNotAssigned, kAnyState, {Step::kDrop}},
    {ReqCameraOpen, In(CamClosed), {Step::kOpen}},
    {ReqCameraOpenOnArrival, In(CamClosed), {Step::kReopen, Gate::kReopen}},
    {ReqCameraOpenOnArrival, kAnyState, {Step::kReopen, Gate::kReopen, Then::kDone, kReopenNotClosedLine}},
    {ReqCameraClose, In(CamOpened, CamOpenErr), {Step::kClose, Gate::kCallbacksHeld}},
    {ReqCameraClose, In(CamCapture, CamGrabErr), {Step::kStopCapture, Gate::kNone, Then::kKeep}},
    {ReqCameraCloseOpen, kAnyState, {Step::kDropCloseOpen}},
    {ReqCameraDestroy, In(CamClosed), {Step::kDestroy}},
    {ReqCameraDestroy, In(CamOpened, CamOpenErr), {Step::kClose, Gate::kCallbacksHeld, Then::kKeep}},
    {ReqCameraDestroy, In(CamCapture, CamGrabErr), {Step::kStopCapture, Gate::kNone, Then::kKeep}},
    {ReqCaptureStart, In(CamOpened), {Step::kStartCapture}},
    {ReqCaptureStart, In(CamCapture), {Step::kGrabAgain, Gate::kNotContinuous}},
    {ReqCaptureCont, In(CamOpened), {Step::kStartContinuous}},
    {ReqApplyTriggerStrobe, In(CamOpened, CamCapture, CamGrabErr), {Step::kApplyTriggerStrobe}},
    {ReqCaptureStop, In(CamCapture, CamGrabErr), {Step::kStopCapture}},
};

constexpr RequestRule RuleFor(CamState state, StateRequest request) {
  for (const RequestRow& row : kRequestRows)
    if (row.request == request && Holds(row.states, state)) return row.rule;
  return RequestRule{};
}

// States the bus thread answers when it sees the camera enter them
// (CameraList::HandleCameraStateChange): a camera the host has open is closed
// and reopened after the reopen pause (ReqCameraCloseOpen); one the host has
// closed is closed for good (ReqCameraClose, unless one is queued).
inline constexpr StateSet kRecoveredStates = In(CamGrabErr, CamOpenErr);

// ---- the camera's own operations: the states each refuses ------------------

enum class Op : uint8_t {
  kOpen,                   // Camera::Open (host)
  kClose,                  // Camera::Close (host), with nothing queued or running
  kGrabWhileContinuous,    // Camera::Grab while the host asks for continuous frames
  kSetContinuousGrabMode,  // Camera::SetContinuousGrabMode, after the mode is stored
  kDoOpen,                 // bus thread
  kDoClose,                // bus thread
  kCleanup,                // bus thread
  kDoStartCapture,         // bus thread; refused too without an SDK camera
  kDoStopCapture,          // bus thread
  kDoApplyTriggerStrobe,   // bus thread
  kGrabThreadWake,         // grab thread, woken
  kRetrieveImage,          // grab thread
  kFlyImageToImageBuffer,  // grab thread
  kSetProperty,            // host property command on a parameter
  kGetProperty,            // host property query of a parameter
  kGetRange,               // host property range
  kTriggerSoftware,        // host command "TriggerSoftware"; refused too without an SDK camera
  kCopyRow,                // the host's row pull: refused, it gets the dummy line
};

// An operation refused in some states: the line it logs and what it returns.
struct Refusal {
  Op op;
  StateSet states;
  Line line;  // arguments: see the operation's row
  bool result = false;
  // The row also refuses when the operation's side condition fails (no SDK
  // camera), whatever the state.
  bool orWithoutSideCondition = false;
};

// The first row of an operation whose states match refuses it; an operation
// with no matching row goes ahead.
inline constexpr Refusal kRefusals[] = {
    // (name, tag)
    {Op::kOpen,
     In(CamOpened, CamCapture),
     {kLogError, "Camera::Open: WARNING: camera %s already in open state, %s\n"},
     true},
    // (name, tag)
    {Op::kClose, In(CamClosed), {kLogError, "Camera::Close: WARNING: camera %s already in closed state, %s \n"}},
    // (tag) for the rest, unless said otherwise
    {Op::kGrabWhileContinuous,
     In(CamCapture),
     {kLogInfo, "Camera::Grab: WARNING: ignored, camera already in capturing state, %s\n"},
     true},
    {Op::kSetContinuousGrabMode,
     AllBut(In(CamOpened, CamCapture)),
     {kLogError, "Camera::SetContinuousGrabMode: ERROR: ignored, camera is not in opened or capturing state, %s\n"}},
    {Op::kDoOpen,
     In(CamOpened, CamCapture),
     {kLogError, "Camera::DoOpen: WARNING: ignored, camera is already Open or capturing state, %s\n"},
     true},
    {Op::kDoOpen,
     AllBut(In(CamClosed)),
     {kLogError, "Camera::DoOpen: ERROR: ignored, camera must be in 'Closed' state before opening, %s\n"}},
    {Op::kDoClose,
     AllBut(In(CamOpened, CamOpenErr)),
     {kLogError, "Camera::DoClose: WARNING: ignored, camera is incorrect state for closing:%s, \n"}},
    {Op::kCleanup,
     In(CamOpened, CamCapture),
     {kLogError, "Camera::Cleanup: WARNING: ignored, camera is incorrect state for cleanup:%s\n"}},
    {Op::kDoStartCapture,
     In(CamCapture),
     {kLogInfo, "Camera::DoStartCapture: WARNING: ignored, camera already in capturing state, %s\n"}},
    {Op::kDoStartCapture,
     AllBut(In(CamOpened)),
     {kLogError, "Camera::DoStartCapture: ERROR: ignored, camera not in open state, %s\n"},
     false,
     true},
    {Op::kDoStopCapture,
     AllBut(In(CamCapture, CamGrabErr)),
     {kLogError, "Camera::DoStopCapture: ERROR: ignored, camera not in capturing, %s\n"}},
    // A camera about to be reset gets every value at its reopen: no line.
    {Op::kDoApplyTriggerStrobe, AllBut(In(CamOpened, CamCapture)), {}},
    // (state name, port)
    {Op::kGrabThreadWake,
     AllBut(In(CamCapture)),
     {kLogDetail,
      "GrabThread::ThreadMain: WARNING: grab event ignored, since camera is not in capturing state:%s, on port=%d\n"}},
    {Op::kRetrieveImage,
     AllBut(In(CamCapture)),
     {kLogError, "Camera::RetrieveImage: ERROR: ignored, camera not in capturing state: %s\n"}},
    {Op::kFlyImageToImageBuffer,
     AllBut(In(CamCapture)),
     {kLogError, "Camera::FlyImageToImageBuffer: ERROR: ignored, camera not in capturing state: %s\n"}},
    // (property name, tag)
    {Op::kSetProperty,
     AllBut(In(CamOpened, CamCapture, CamGrabErr)),
     {kLogError, "Camera::SetProperty(%s): ERROR: ignored, camera not in open state:%s\n"}},
    // (property name, tag)
    {Op::kGetProperty,
     AllBut(In(CamOpened, CamCapture, CamGrabErr)),
     {kLogError, "Camera::GetProperty(%s): ERROR: ignored, camera not in init state, %s\n"}},
    {Op::kGetRange, AllBut(In(CamOpened)), {kLogError, "Camera::GetRange: ERROR: ignored, camera not in open, %s\n"}},
    // (property name, tag)
    {Op::kTriggerSoftware,
     AllBut(In(CamCapture)),
     {kLogError, "Camera::SetProperty(%s): ERROR: ignored, camera not capturing, %s\n"},
     false,
     true},
    // (row, last row, tag)
    {Op::kCopyRow,
     AllBut(In(CamCapture, CamGrabErr)),
     {kLogInfo, "Camera::GetRow, WARNING: camera is not in valid state, returning dummy line, row=%d/%d, %s\n"}},
};

// The refusal of `op` in `state`, or null when it goes ahead. `sideCondition`
// is the operation's own precondition beside the state (an SDK camera).
constexpr const Refusal* Refuses(Op op, CamState state, bool sideCondition = true) {
  for (const Refusal& row : kRefusals)
    if (row.op == op && (Holds(row.states, state) || (row.orWithoutSideCondition && !sideCondition))) return &row;
  return nullptr;
}

// The index of the only row of `op` in kRefusals, found at compile time: the
// host's row pull tests its states with one bit test instead of a walk
// through the table. An operation with no row or with two fails the build.
constexpr size_t OnlyRefusalIndex(Op op) {
  constexpr size_t kNone = std::size(kRefusals);
  size_t found = kNone;
  for (size_t i = 0; i < std::size(kRefusals); ++i) {
    if (kRefusals[i].op != op) continue;
    if (found != kNone) throw "the operation has more than one row";  // not a constant expression
    found = i;
  }
  if (found == kNone) throw "the operation has no row";
  return found;
}

// ---- every transition, and who makes it --------------------------------------

enum class Mover : uint8_t { kBusThread, kGrabThread, kHost };

struct Transition {
  CamState from;
  CamState to;
  Mover mover;
};

// CameraState::SetState and ChangeState check each change against this list
// in debug builds. A removal never changes the state itself: the bus events
// queue a close-and-reopen.
inline constexpr Transition kTransitions[] = {
    {CamClosed, CamOpened, Mover::kBusThread},     // DoOpen
    {CamClosed, CamOpenErr, Mover::kBusThread},    // DoOpen failed
    {CamOpened, CamOpenErr, Mover::kBusThread},    // DoOpen failed after the camera was recorded Opened
    {CamGrabErr, CamOpenErr, Mover::kBusThread},   // ... and a "Reset" came meanwhile
    {CamOpened, CamClosed, Mover::kBusThread},     // DoClose
    {CamOpenErr, CamClosed, Mover::kBusThread},    // DoClose after a failed open
    {CamGrabErr, CamClosed, Mover::kBusThread},    // DoClose overtaken by a "Reset" after its check
    {CamOpened, CamCapture, Mover::kBusThread},    // DoStartCapture
    {CamGrabErr, CamCapture, Mover::kBusThread},   // DoStartCapture overtaken by a "Reset" after its check
    {CamCapture, CamOpened, Mover::kBusThread},    // DoStopCapture (a close, a mode switch, trigger and strobe)
    {CamGrabErr, CamOpened, Mover::kBusThread},    // DoStopCapture of a failed capture, before its reopen
    {CamClosed, CamDestroy, Mover::kBusThread},    // ReqCameraDestroy
    {CamCapture, CamGrabErr, Mover::kGrabThread},  // three failed retrievals, or incomplete frames for 3 s
    {CamOpened, CamGrabErr, Mover::kHost},         // the command "Reset"
    {CamCapture, CamGrabErr, Mover::kHost},        // the command "Reset"
};

constexpr bool TransitionAllowed(CamState from, CamState to) {
  for (const Transition& transition : kTransitions)
    if (transition.from == from && transition.to == to) return true;
  return false;
}

// Whether `mover` is the one that changes `from` to `to`.
constexpr bool Moves(Mover mover, CamState from, CamState to) {
  for (const Transition& transition : kTransitions)
    if (transition.mover == mover && transition.from == from && transition.to == to) return true;
  return false;
}

}  // namespace life
}  // namespace vq
