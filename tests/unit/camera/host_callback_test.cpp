#include "camera/HostCallback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "log/DriverContext.h"

using namespace vq;
using std::chrono::milliseconds;

namespace {

void First(int, int) {}
void Second(int, int) {}

}  // namespace

// The bus thread closes a camera only once no callback runs, and none starts
// until the camera is open again; a close that found the callback running is
// woken by its return.
TEST(HostCallback, AHoldWaitsForTheRunningCallbackAndStopsNewOnes) {
  int wakes = 0;
  HostCallback callback([&wakes] { ++wakes; });
  EXPECT_EQ(nullptr, callback.Begin()) << "no callback set";
  ASSERT_TRUE(callback.Replace(First, milliseconds(0)));

  ASSERT_EQ(&First, callback.Begin());
  EXPECT_FALSE(callback.Hold()) << "the host's callback runs";
  callback.End();
  EXPECT_EQ(1, wakes) << "the held close is woken by the return";

  EXPECT_TRUE(callback.Hold());
  EXPECT_EQ(nullptr, callback.Begin()) << "held: no call starts";
  callback.Release();
  ASSERT_EQ(&First, callback.Begin());
  callback.End();
  EXPECT_EQ(1, wakes) << "no close waited this time";
}

// A host that replaces its callback is never called through the old one
// afterwards: the replacement waits for a call in progress, except on the
// calling thread itself and on a thread of the driver's, where the host
// learns the old one may still run.
TEST(HostCallback, AReplacementWaitsForTheOldCallsReturn) {
  HostCallback callback([] {});
  ASSERT_TRUE(callback.Replace(First, milliseconds(0)));
  ASSERT_EQ(&First, callback.Begin());

  EXPECT_TRUE(callback.Replace(Second, milliseconds(0))) << "from inside the callback";
  EXPECT_EQ(&Second, callback.Current());
  EXPECT_FALSE(std::async(std::launch::async, [&] { return callback.Replace(First, milliseconds(0)); }).get())
      << "another host thread, the old call still running";
  EXPECT_FALSE(std::async(std::launch::async,
                          [&] {
                            DriverThreadScope grabThread(DriverThread::kGrab);
                            // Were it to wait, the test would run into its time limit.
                            return callback.Replace(Second, milliseconds(3600000));
                          })
                   .get())
      << "a thread of the driver's does not wait";

  auto replaced = std::async(std::launch::async, [&] { return callback.Replace(nullptr, milliseconds(60000)); });
  callback.End();
  EXPECT_TRUE(replaced.get()) << "the old call's return ends the wait";
  EXPECT_EQ(nullptr, callback.Begin()) << "cleared";
}
