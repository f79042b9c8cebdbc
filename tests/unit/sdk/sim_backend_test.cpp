// Choice of the SDK backend. The backend is chosen on the first SDK call of
// the process, so each case runs in a process of its own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "sim_test_support.h"
#include "tests/support/OwnProcess.h"

namespace simtest {
namespace {

TEST(SdkBackend, UnknownBackendFailsEveryOperationAndSaysWhy) {
  if (vqtest::RanInOwnProcess()) return;
  vqtest::ScopedEnvironment environment;
  environment.Set("VORQUELL_SDK_BACKEND", "gige");
#ifdef VQ_HAVE_ARAVIS
  const char* why = "Unknown camera SDK backend 'gige' (VORQUELL_SDK_BACKEND); known backends: sim, aravis.";
#else
  const char* why = "Unknown camera SDK backend 'gige' (VORQUELL_SDK_BACKEND); known backends: sim.";
#endif
  BusManager bus;
  unsigned int count = 7;
  Error error = bus.GetNumOfCameras(&count);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_IMPLEMENTED);
  EXPECT_STREQ(error.GetDescription(), why);
  EXPECT_EQ(count, 7u);

  PGRGuid guid;
  EXPECT_STREQ(bus.GetCameraFromIndex(0, &guid).GetDescription(), why);
  EXPECT_STREQ(bus.GetCameraFromSerialNumber(kColor, &guid).GetDescription(), why);
  EXPECT_STREQ(bus.FireBusReset(&guid).GetDescription(), why);
  CallbackHandle handle = nullptr;
  EXPECT_STREQ(bus.RegisterCallback([](void*, unsigned int) {}, BUS_RESET, nullptr, &handle).GetDescription(), why);
  EXPECT_STREQ(bus.UnregisterCallback(handle).GetDescription(), why);
  Camera camera;
  EXPECT_STREQ(camera.Connect(&guid).GetDescription(), why);
  EXPECT_FALSE(camera.IsConnected());
}

TEST(SdkBackend, SimNamedExplicitlyIsTheSimulatedBus) {
  if (vqtest::RanInOwnProcess()) return;
  vqtest::ScopedEnvironment environment;
  environment.Set("VORQUELL_SDK_BACKEND", "sim");
  BusManager bus;
  unsigned int count = 0;
  ASSERT_TRUE(Ok(bus.GetNumOfCameras(&count)));
  EXPECT_EQ(count, 2u);
}

#ifndef VQ_HAVE_ARAVIS
TEST(SdkBackend, AravisInABuildWithoutItSaysSo) {
  if (vqtest::RanInOwnProcess()) return;
  vqtest::ScopedEnvironment environment;
  environment.Set("VORQUELL_SDK_BACKEND", "aravis");
  BusManager bus;
  unsigned int count = 0;
  Error error = bus.GetNumOfCameras(&count);
  EXPECT_EQ(error.GetType(), PGRERROR_NOT_IMPLEMENTED);
  EXPECT_STREQ(error.GetDescription(),
               "The camera SDK backend 'aravis' (VORQUELL_SDK_BACKEND) is not part of this build: it was built "
               "without Aravis 0.8 (Debian: libaravis-dev).");
}
#endif

}  // namespace
}  // namespace simtest
