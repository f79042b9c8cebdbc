#pragma once
// Counts the host threads copying rows of a camera's image buffer, in two
// epochs, so that
// - the grab thread, having put a new frame in place of the old, can wait
//   until no reader is still inside the old one before it goes back to the
//   camera (readers that come later find the new frame), and
// - the bus thread can wait until no reader is left before it frees the
//   buffer.
//
// A row is a copy of a few kilobytes, and a host pulls a thousand per frame:
// entering and leaving must not cost a locked instruction each, which waits
// for the copy's stores to drain. So each reading thread marks which readers'
// epoch it is in, in a slot only it writes, with plain stores; the waiting
// side pays instead, once per frame: a barrier on every thread of the process
// (membarrier) makes every mark made before it visible before the slots are
// read. Where the kernel lacks that barrier, readers fence each entry.
#include <atomic>
#include <chrono>

namespace vq {

class RowReaders {
 public:
  RowReaders();
  RowReaders(const RowReaders&) = delete;
  RowReaders& operator=(const RowReaders&) = delete;

  // What a reader leaves with: its thread's slot.
  class Pass {
    friend class RowReaders;
    void* _slot;
    explicit Pass(void* slot) : _slot(slot) {}
  };
  // A thread is inside one RowReaders at a time.
  Pass Enter();
  void Leave(Pass pass);

  // One thread at a time. Readers that enter from now on count in the other
  // epoch; returns the epoch of those inside, for WaitForEpoch.
  int BeginEpoch() {
    const int previous = _epoch.load();
    _epoch.store(1 - previous);
    return previous;
  }
  // True once the readers of `epoch` have left, false if one still is inside
  // after `timeout`.
  bool WaitForEpoch(int epoch, std::chrono::milliseconds timeout);
  // True once no reader is left, false if one still is after `timeout`.
  bool WaitForNone(std::chrono::milliseconds timeout);

 private:
  // -1: any epoch.
  bool WaitForReaders(int epoch, std::chrono::milliseconds timeout);

  std::atomic<int> _epoch{0};
};

}  // namespace vq
