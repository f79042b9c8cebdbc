// The entry points called directly, for what a host cannot observe through
// them alone.
#include <gtest/gtest.h>

#include "include/VorquellCamera.h"
#include "log/DriverContext.h"
#include "tests/support/TestSupport.h"

using namespace vq;

TEST(EntryPoints, InitializeWithoutAPathKeepsTheOneSetEarlier) {
  vqtest::LogCapture log;
  DriverContext* context = GetDriverContext();
  ASSERT_EQ(1, setSystemPath("/kept/path"));
  ASSERT_EQ(1, initialize("", nullptr));
  EXPECT_EQ("/kept/path", context->SystemPath());
  ASSERT_EQ(1, initialize(nullptr, nullptr));
  EXPECT_EQ("/kept/path", context->SystemPath());
  ASSERT_EQ(1, initialize("/new/path", nullptr));
  EXPECT_EQ("/new/path", context->SystemPath());
  EXPECT_EQ(3, context->refcount);
  for (int i = 0; i < 3; ++i) finalize();
  EXPECT_EQ(0, context->refcount);
  context->SetSystemPath("");
}

TEST(EntryPoints, InitializeInstallsTheCallbackBeforeItsFirstLine) {
  vqtest::LogCapture log;  // installs its own callback; initialize replaces it
  static std::vector<std::string> seen;
  seen.clear();
  ASSERT_EQ(1, initialize(nullptr, [](const char* text) { seen.emplace_back(text); }));
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ("===============initialize: \n", seen[1]);  // level 2 reaches the callback at log level 4
  finalize();
}

// A host that only listed the cameras, or finalizes once too often, neither
// destroys the list nor drives the count below 0: a later initialize works.
TEST(EntryPoints, AFinalizeWithoutInitializeDestroysNothing) {
  vqtest::LogCapture log;
  ASSERT_NE(nullptr, getCVLCameraConfigNames());
  EXPECT_EQ(0, finalize());
  EXPECT_EQ(0, GetDriverContext()->refcount);
  EXPECT_TRUE(log.Contains("finalize: WARNING: not initialized, refcount=0\n"));
  EXPECT_FALSE(log.Contains("CameraList::Destroy: entering\n"));
  ASSERT_EQ(1, initialize(nullptr, nullptr));
  EXPECT_EQ(1, GetDriverContext()->refcount);
  EXPECT_EQ(1, finalize());
  EXPECT_EQ(0, finalize());
  EXPECT_EQ(0, GetDriverContext()->refcount);
}
