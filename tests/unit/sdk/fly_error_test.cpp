// The file and line an SDK error carries name the source file relative to
// the source tree, so that no log line shows the folder the module was
// built in.
#include <gtest/gtest.h>

#include <string>

#include "log/DriverContext.h"
#include "sdk/FlyCapture2.h"
#include "sdk/FlyError.h"
#include "sdk/sim/SimBus.h"
#include "tests/support/TestSupport.h"

using namespace FlyCapture2;

namespace {

TEST(FlyError, AnErrorNamesItsSourceFileRelativeToTheSourceTree) {
  const int line = __LINE__ + 1;
  const Error error = FC2_ERROR(PGRERROR_FAILED, "Made here.");
  EXPECT_STREQ("tests/unit/sdk/fly_error_test.cpp", error.GetFilename());
  EXPECT_EQ(line, error.GetLine());
  EXPECT_EQ("FlyCapture API Error 1: Made here. (tests/unit/sdk/fly_error_test.cpp " + std::to_string(line) + ")",
            FormatFlyError(error));
}

TEST(FlyError, ALoggedErrorOfTheSdkShowsNoAbsolutePath) {
  PGRGuid guid;
  // An error made in the SDK's own code; the fleets hold no hundred cameras.
  const Error error = vq::sim::SimBus::Instance().GetCameraFromIndex(99, &guid);
  ASSERT_NE(PGRERROR_OK, error);
  vqtest::LogCapture log(1, 0);
  vq::WriteLog(vq::GetDriverContext(), vq::kLogError, "Test: ERROR: %s\n", FormatFlyError(error).c_str());
  const std::vector<std::string> lines = log.Messages();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find(" (sdk/sim/SimBus.cpp ")) << lines[0];
  EXPECT_EQ(std::string::npos, lines[0].find(" (/")) << lines[0];
}

}  // namespace
