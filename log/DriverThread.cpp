// Which of the driver's threads the caller is on, and whether it is inside a
// host callback: what lets the exports refuse or skip a wait that would make
// a thread wait for itself.
#include "log/DriverContext.h"

namespace vq {

namespace {

thread_local DriverThread currentThread = DriverThread::kHost;
thread_local int hostCallbackDepth = 0;

}  // namespace

DriverThread CurrentDriverThread() { return currentThread; }

DriverThreadScope::DriverThreadScope(DriverThread kind) : _previous(currentThread) {
  // An SDK event handled on a thread already marked keeps that thread's mark.
  if (currentThread == DriverThread::kHost || kind != DriverThread::kSdkEvent) currentThread = kind;
}

DriverThreadScope::~DriverThreadScope() { currentThread = _previous; }

bool InHostCallback() { return hostCallbackDepth > 0; }

HostCallbackScope::HostCallbackScope() { ++hostCallbackDepth; }

HostCallbackScope::~HostCallbackScope() { --hostCallbackDepth; }

}  // namespace vq
