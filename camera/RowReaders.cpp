#include "camera/RowReaders.h"

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vq {

namespace {

// What a reading thread is inside: the RowReaders' address with the epoch in
// its low bit, or 0. Written only by its thread; a cache line of its own, so
// that threads reading rows at once do not slow each other down.
struct alignas(64) Slot {
  std::atomic<uintptr_t> inside{0};
};

uintptr_t Mark(const RowReaders* readers, int epoch) {
  return reinterpret_cast<uintptr_t>(readers) | static_cast<uintptr_t>(epoch);
}

// Every reading thread's slot. Never destroyed: a thread may still leave a
// row while the process exits.
struct Registry {
  std::mutex lock;
  std::vector<Slot*> slots;
};
Registry& Slots() {
  static auto* registry = new Registry;
  return *registry;
}

void ForgetSlot(void* data) {
  auto* slot = static_cast<Slot*>(data);
  {
    Registry& registry = Slots();
    std::lock_guard<std::mutex> lock(registry.lock);
    registry.slots.erase(std::find(registry.slots.begin(), registry.slots.end(), slot));
  }
  delete slot;
}

// The thread-specific key of the slots. A thread that ends gives its slot
// back; the key goes with the module, so that no thread ending after an
// unload calls into it.
struct SlotKey {
  pthread_key_t key{};
  bool valid = pthread_key_create(&key, ForgetSlot) == 0;
  ~SlotKey() {
    if (valid) pthread_key_delete(key);
  }
};
SlotKey slotKey;

// The calling thread's slot, registered on its first row.
Slot& OwnSlot() {
  // Where the key cannot hold it (the process has used up its keys) a thread
  // keeps its slot here, and the slot stays registered after the thread ends.
  thread_local Slot* keyless = nullptr;
  if (slotKey.valid)
    if (void* slot = pthread_getspecific(slotKey.key)) return *static_cast<Slot*>(slot);
  if (keyless) return *keyless;
  auto* slot = new Slot;
  {
    Registry& registry = Slots();
    std::lock_guard<std::mutex> lock(registry.lock);
    registry.slots.push_back(slot);
  }
  if (!slotKey.valid || pthread_setspecific(slotKey.key, slot) != 0) keyless = slot;
  return *slot;
}

// Whether the kernel gives the process-wide barrier; asked once.
bool ProcessBarrierAvailable() {
  static const bool available = [] {
    const long commands = syscall(__NR_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
    return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
           syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  }();
  return available;
}
std::atomic<bool> processBarrier{false};

// The reader's half: its mark is ordered before what it reads next, either
// by the waiter's process-wide barrier or, without one, by a sequentially
// consistent store (which fences).
void MarkSlot(Slot& slot, uintptr_t mark) {
  if (processBarrier.load(std::memory_order_relaxed)) {
    slot.inside.store(mark, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
  } else {
    slot.inside.store(mark);
  }
}

// The waiter's half: every mark made before it is visible after it. (Once
// registered, the process-wide barrier does not fail.) Without it the
// readers' stores fence themselves.
void WaiterBarrier() {
  if (processBarrier.load(std::memory_order_relaxed)) syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
}

}  // namespace

RowReaders::RowReaders() { processBarrier.store(ProcessBarrierAvailable()); }

RowReaders::Pass RowReaders::Enter() {
  Slot& slot = OwnSlot();
  for (;;) {
    const int epoch = _epoch.load();
    MarkSlot(slot, Mark(this, epoch));
    // An epoch changed under the mark: the changer may have looked at the
    // slots already. Marked in the new epoch instead.
    if (_epoch.load() == epoch) return Pass(&slot);
  }
}

void RowReaders::Leave(Pass pass) { static_cast<Slot*>(pass._slot)->inside.store(0, std::memory_order_release); }

bool RowReaders::WaitForEpoch(int epoch, std::chrono::milliseconds timeout) { return WaitForReaders(epoch, timeout); }

bool RowReaders::WaitForNone(std::chrono::milliseconds timeout) { return WaitForReaders(-1, timeout); }

bool RowReaders::WaitForReaders(int epoch, std::chrono::milliseconds timeout) {
  WaiterBarrier();
  auto anyInside = [&] {
    Registry& registry = Slots();
    std::lock_guard<std::mutex> lock(registry.lock);
    for (const Slot* slot : registry.slots) {
      const uintptr_t inside = slot->inside.load();
      if (epoch < 0 ? (inside == Mark(this, 0) || inside == Mark(this, 1)) : inside == Mark(this, epoch)) return true;
    }
    return false;
  };
  // A row takes microseconds: look again soon, then less often.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(20);
  while (anyInside()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
  return true;
}

}  // namespace vq
