// The Aravis bus and the camera addresses it is given: an address where no
// camera answers is named in a level-1 warning, once. Nothing here leaves
// the loopback range: no interface is searched (no discovery), and the one
// address asked is 127.0.0.2, where no camera listens (the GigE Vision
// fakes of other tests listen on 127.0.0.1).
#ifdef VQ_HAVE_ARAVIS
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sdk/aravis/AravisBus.h"
#include "tests/support/TestSupport.h"

using namespace FlyCapture2;

namespace {

TEST(AravisBus, AnAddressWhereNoCameraAnswersIsNamedInAWarningOnce) {
  vqtest::LogCapture log(1, 0);
  vq::aravis::DiscoveryInput input;
  input.interfaces = "";
  input.devices = "127.0.0.2";
  // The process's bus: this test is the only one of its process to build it.
  vq::aravis::AravisBus& bus = vq::aravis::AravisBus::Instance(input);
  unsigned int count = 99;
  ASSERT_EQ(PGRERROR_OK, bus.GetNumOfCameras(&count));
  EXPECT_EQ(0u, count);
  const std::string warning =
      "AravisBus: WARNING: no camera answers at 127.0.0.2 (an address of VORQUELL_ARAVIS_DEVICES or AravisDevices)\n";
  EXPECT_EQ(1u, log.Count(warning)) << ::testing::PrintToString(log.Messages());

  // Asked again, still silent: said once is enough.
  ASSERT_EQ(PGRERROR_OK, bus.GetNumOfCameras(&count));
  EXPECT_EQ(1u, log.Count(warning)) << ::testing::PrintToString(log.Messages());
}

}  // namespace
#endif
