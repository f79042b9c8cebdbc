#include "camera/RowReaders.h"

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace vq {

namespace {

using Slot = RowReaders::Slot;

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

}  // namespace

// The key's destructor, on the thread that ends: a row it pulls later (from
// a destructor of the host's that runs after this one) registers anew.
void ForgetRowReaderSlot(void* data) {
  auto* slot = static_cast<Slot*>(data);
  RowReaders::_threadSlot = nullptr;
  {
    Registry& registry = Slots();
    std::lock_guard<std::mutex> lock(registry.lock);
    registry.slots.erase(std::find(registry.slots.begin(), registry.slots.end(), slot));
  }
  delete slot;
}

namespace {

// The thread-specific key of the slots. A thread that ends gives its slot
// back; the key goes with the module, so that no thread ending after an
// unload calls into it.
struct SlotKey {
  pthread_key_t key{};
  bool valid = pthread_key_create(&key, ForgetRowReaderSlot) == 0;
  ~SlotKey() {
    if (valid) pthread_key_delete(key);
  }
};
SlotKey slotKey;

// Whether the kernel gives the process-wide barrier; asked once.
bool ProcessBarrierAvailable() {
  static const bool available = [] {
    const long commands = syscall(__NR_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
    return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
           syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  }();
  return available;
}

}  // namespace

std::atomic<bool> RowReaders::_processBarrier{false};

RowReaders::RowReaders() { _processBarrier.store(ProcessBarrierAvailable()); }

RowReaders::Slot& RowReaders::RegisterSlot() {
  auto* slot = new Slot;
  {
    Registry& registry = Slots();
    std::lock_guard<std::mutex> lock(registry.lock);
    registry.slots.push_back(slot);
  }
  // Where the key cannot hold it (the process has used up its keys), the
  // slot stays registered after the thread ends.
  if (slotKey.valid) pthread_setspecific(slotKey.key, slot);
  _threadSlot = slot;
  return *slot;
}

bool RowReaders::WaitForEpoch(int epoch, std::chrono::milliseconds timeout) { return WaitForReaders(epoch, timeout); }

bool RowReaders::WaitForNone(std::chrono::milliseconds timeout) { return WaitForReaders(-1, timeout); }

bool RowReaders::WaitForReaders(int epoch, std::chrono::milliseconds timeout) {
  // The waiter's half: every mark made before the barrier is visible after
  // it. (Once registered, the barrier does not fail.) Without it the
  // readers' stores fence themselves.
  if (_processBarrier.load(std::memory_order_relaxed)) syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
  auto anyInside = [&] {
    Registry& registry = Slots();
    std::lock_guard<std::mutex> lock(registry.lock);
    for (const Slot* slot : registry.slots) {
      const uintptr_t inside = slot->inside.load();
      if (epoch < 0 ? (inside == Mark(0) || inside == Mark(1)) : inside == Mark(epoch)) return true;
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
