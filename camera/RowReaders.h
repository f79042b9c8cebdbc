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
#include <cstdint>

namespace vq {

class RowReaders {
 public:
  RowReaders();
  RowReaders(const RowReaders&) = delete;
  RowReaders& operator=(const RowReaders&) = delete;

  // What a reading thread is inside: the RowReaders' address with the epoch
  // in its low bit, or 0. Written only by its thread; a cache line of its
  // own, so that threads reading rows at once do not slow each other down.
  struct alignas(64) Slot {
    std::atomic<uintptr_t> inside{0};
  };
  // What a reader leaves with: its thread's slot.
  class Pass {
    friend class RowReaders;
    Slot* _slot;
    explicit Pass(Slot* slot) : _slot(slot) {}
  };
  // A thread is inside one RowReaders at a time. Inline: the host pays these
  // two for every row.
  Pass Enter() {
    Slot& slot = OwnSlot();
    for (;;) {
      const int epoch = _epoch.load();
      MarkSlot(slot, Mark(epoch));
      // An epoch changed under the mark: the changer may have looked at the
      // slots already. Marked in the new epoch instead.
      if (_epoch.load() == epoch) return Pass(&slot);
    }
  }
  void Leave(Pass pass) { pass._slot->inside.store(0, std::memory_order_release); }

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
  // The calling thread's slot, registered on its first row. The thread
  // keeps it at hand in a thread-local without a destructor (one would pin
  // the module in memory); the slot itself is given back as the thread ends.
  static Slot& OwnSlot() {
    if (Slot* slot = _threadSlot) return *slot;
    return RegisterSlot();
  }
  static Slot& RegisterSlot();
  friend void ForgetRowReaderSlot(void* data);
  static inline thread_local Slot* _threadSlot = nullptr;
  uintptr_t Mark(int epoch) const { return reinterpret_cast<uintptr_t>(this) | static_cast<uintptr_t>(epoch); }
  // The reader's half: its mark is ordered before what it reads next, either
  // by the waiter's process-wide barrier or, without one, by a sequentially
  // consistent store (which fences).
  static void MarkSlot(Slot& slot, uintptr_t mark) {
    if (_processBarrier.load(std::memory_order_relaxed)) {
      slot.inside.store(mark, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
      slot.inside.store(mark);
    }
  }
  // -1: any epoch.
  bool WaitForReaders(int epoch, std::chrono::milliseconds timeout);

  std::atomic<int> _epoch{0};
  // Whether the kernel gives the waiter its process-wide barrier.
  static std::atomic<bool> _processBarrier;
};

}  // namespace vq
