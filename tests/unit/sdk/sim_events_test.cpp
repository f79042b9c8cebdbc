// Bus events of the simulated bus: delivered on the SDK's own thread, in the
// order raised, to the callbacks registered for their type.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "sim_test_support.h"
#include "tests/support/TestSupport.h"

namespace simtest {
namespace {

struct Delivery {
  BusCallbackType type;
  unsigned int serial;
  std::thread::id thread;
};

// Records what the callbacks receive; one recorder per registered type.
class Recorder {
 public:
  void Add(BusCallbackType type, unsigned int serial) {
    std::lock_guard<std::mutex> lock(_mutex);
    _deliveries.push_back({type, serial, std::this_thread::get_id()});
  }
  std::vector<Delivery> Deliveries() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _deliveries;
  }
  size_t Count() const { return Deliveries().size(); }

 private:
  mutable std::mutex _mutex;
  std::vector<Delivery> _deliveries;
};

struct Context {
  Recorder* recorder;
  BusCallbackType type;
};

void Record(void* parameter, unsigned int serial) {
  auto* context = static_cast<Context*>(parameter);
  context->recorder->Add(context->type, serial);
}

class SimEventsTest : public SimTest {
 protected:
  void TearDown() override {
    for (CallbackHandle handle : _handles) _bus.UnregisterCallback(handle);
  }

  void RegisterAll() {
    for (Context& context : _contexts) {
      CallbackHandle handle = nullptr;
      ASSERT_TRUE(Ok(_bus.RegisterCallback(Record, context.type, &context, &handle)));
      _handles.push_back(handle);
    }
  }

  BusManager _bus;
  Recorder _recorder;
  Context _contexts[3] = {{&_recorder, BUS_RESET}, {&_recorder, ARRIVAL}, {&_recorder, REMOVAL}};
  std::vector<CallbackHandle> _handles;
};

TEST_F(SimEventsTest, EventsArriveInOrderOnAnotherThreadWithTheSerialNumber) {
  RegisterAll();
  vq::sim::RemoveCamera(kMono);
  vq::sim::ReattachCamera(kMono);
  vq::sim::AddCamera(vq::sim::DefaultColorCamera(777));
  PGRGuid guid;
  ASSERT_TRUE(Ok(_bus.GetCameraFromSerialNumber(kColor, &guid)));
  ASSERT_TRUE(Ok(_bus.FireBusReset(&guid)));

  ASSERT_TRUE(vqtest::WaitFor([&] { return _recorder.Count() == 4; }));
  auto deliveries = _recorder.Deliveries();
  EXPECT_EQ(deliveries[0].type, REMOVAL);
  EXPECT_EQ(deliveries[0].serial, kMono);
  EXPECT_EQ(deliveries[1].type, ARRIVAL);
  EXPECT_EQ(deliveries[1].serial, kMono);
  EXPECT_EQ(deliveries[2].type, ARRIVAL);
  EXPECT_EQ(deliveries[2].serial, 777u);
  EXPECT_EQ(deliveries[3].type, BUS_RESET);
  EXPECT_EQ(deliveries[3].serial, kColor);
  for (const Delivery& delivery : deliveries) EXPECT_NE(delivery.thread, std::this_thread::get_id());
}

TEST_F(SimEventsTest, EachEventReachesOnlyTheCallbacksOfItsType) {
  Recorder removals;
  Context context{&removals, REMOVAL};
  CallbackHandle handle;
  ASSERT_TRUE(Ok(_bus.RegisterCallback(Record, REMOVAL, &context, &handle)));

  vq::sim::BusReset(kColor);
  vq::sim::RemoveCamera(kColor);
  vq::sim::ReattachCamera(kColor);
  vq::sim::FlushEvents();
  ASSERT_TRUE(Ok(_bus.UnregisterCallback(handle)));
  auto deliveries = removals.Deliveries();
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].type, REMOVAL);
  EXPECT_EQ(deliveries[0].serial, kColor);
}

TEST_F(SimEventsTest, FireBusResetOfAnAbsentCameraFails) {
  RegisterAll();
  PGRGuid guid;
  ASSERT_TRUE(Ok(_bus.GetCameraFromSerialNumber(kColor, &guid)));
  vq::sim::RemoveCamera(kColor);
  EXPECT_EQ(_bus.FireBusReset(&guid).GetType(), PGRERROR_NOT_FOUND);
  vq::sim::FlushEvents();
  ASSERT_EQ(_recorder.Count(), 1u);  // the removal only
  EXPECT_EQ(_recorder.Deliveries()[0].type, REMOVAL);
}

TEST_F(SimEventsTest, NothingIsDeliveredAfterUnregister) {
  RegisterAll();
  vq::sim::BusReset(1);
  vq::sim::FlushEvents();
  ASSERT_EQ(_recorder.Count(), 1u);
  for (CallbackHandle handle : _handles) ASSERT_TRUE(Ok(_bus.UnregisterCallback(handle)));
  _handles.clear();

  vq::sim::BusReset(2);
  vq::sim::RemoveCamera(kMono);
  vq::sim::ReattachCamera(kMono);
  vq::sim::FlushEvents();
  EXPECT_EQ(_recorder.Count(), 1u);
}

TEST_F(SimEventsTest, UnregisteringAnUnknownHandleFails) {
  RegisterAll();
  CallbackHandle handle = _handles.back();
  _handles.pop_back();
  ASSERT_TRUE(Ok(_bus.UnregisterCallback(handle)));
  Error error = _bus.UnregisterCallback(handle);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_FOUND);
  EXPECT_STREQ(error.GetDescription(), "Unknown bus callback handle.");
  EXPECT_EQ(_bus.UnregisterCallback(nullptr).GetType(), PGRERROR_NOT_FOUND);
}

TEST_F(SimEventsTest, RegisteringAnUnknownTypeFails) {
  CallbackHandle handle = nullptr;
  Context context{&_recorder, BUS_RESET};
  EXPECT_EQ(_bus.RegisterCallback(Record, static_cast<BusCallbackType>(3), &context, &handle).GetType(),
            PGRERROR_INVALID_PARAMETER);
  EXPECT_EQ(_bus.RegisterCallback(nullptr, BUS_RESET, &context, &handle).GetType(), PGRERROR_INVALID_PARAMETER);
}

// A callback that holds the delivery thread until the test lets it go.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
  std::atomic<bool> unregisterReturned{false};
  bool unregisterReturnedBeforeExit = true;

  static void Callback(void* parameter, unsigned int) {
    auto* gate = static_cast<Gate*>(parameter);
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->entered = true;
    gate->changed.notify_all();
    gate->changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate->open; });
    gate->unregisterReturnedBeforeExit = gate->unregisterReturned;
  }
};

TEST_F(SimEventsTest, UnregisterWaitsForTheRunningCallback) {
  Gate gate;
  CallbackHandle handle;
  ASSERT_TRUE(Ok(_bus.RegisterCallback(Gate::Callback, BUS_RESET, &gate, &handle)));
  vq::sim::BusReset(kColor);
  {
    std::unique_lock<std::mutex> lock(gate.mutex);
    ASSERT_TRUE(gate.changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate.entered; }));
  }
  std::thread unregistering([&] {
    EXPECT_TRUE(Ok(_bus.UnregisterCallback(handle)));
    gate.unregisterReturned = true;
  });
  // While the callback runs, Unregister must not return.
  EXPECT_FALSE(vqtest::WaitFor([&] { return gate.unregisterReturned.load(); }, std::chrono::milliseconds(100)));
  {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.open = true;
  }
  gate.changed.notify_all();
  unregistering.join();
  EXPECT_TRUE(gate.unregisterReturned);
  EXPECT_FALSE(gate.unregisterReturnedBeforeExit);
}

struct SelfRemover {
  explicit SelfRemover(BusManager* manager) : bus(manager) {}
  BusManager* bus;
  CallbackHandle handle = nullptr;
  std::atomic<int> calls{0};
  Error result;

  static void Callback(void* parameter, unsigned int) {
    auto* self = static_cast<SelfRemover*>(parameter);
    ++self->calls;
    self->result = self->bus->UnregisterCallback(self->handle);
  }
};

TEST_F(SimEventsTest, CallbackMayUnregisterItselfWithoutDeadlock) {
  SelfRemover remover(&_bus);
  ASSERT_TRUE(Ok(_bus.RegisterCallback(SelfRemover::Callback, ARRIVAL, &remover, &remover.handle)));
  RegisterAll();
  vq::sim::RemoveCamera(kColor);
  vq::sim::ReattachCamera(kColor);
  vq::sim::RemoveCamera(kColor);
  vq::sim::ReattachCamera(kColor);
  vq::sim::FlushEvents();
  EXPECT_EQ(remover.calls, 1);
  EXPECT_TRUE(Ok(remover.result));
  EXPECT_EQ(_recorder.Count(), 4u);  // the recorder still gets every event
}

}  // namespace
}  // namespace simtest
