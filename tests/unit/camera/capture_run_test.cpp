#include "camera/CaptureRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace vq;
using std::chrono::milliseconds;

// The grab thread reads the capture's count, then retrieves. A stop (and a
// restart) in between, or a stop still going on, ends that retrieval before
// it begins: it is neither a frame nor a failure of the new capture, and the
// camera's state is not even asked.
TEST(CaptureRun, ARetrievalBegunAfterItsCaptureStoppedIsEnded) {
  CaptureRun run;
  int asked = 0;
  const auto refusesNothing = [&asked] {
    ++asked;
    return false;
  };
  run.Started();
  const uint32_t seen = run.Generation();
  run.BeginStop();
  run.EndStop();
  run.Started();
  EXPECT_EQ(CaptureRun::Start::kEnded, run.BeginRetrieval(seen, refusesNothing)) << "stopped and restarted since";

  run.BeginStop();
  EXPECT_EQ(CaptureRun::Start::kEnded, run.BeginRetrieval(run.Generation(), refusesNothing)) << "a stop goes on";
  EXPECT_EQ(0, asked);
  EXPECT_TRUE(run.WaitForRetrievalEnd(milliseconds(0))) << "nothing was begun";
  run.EndStop();

  EXPECT_EQ(CaptureRun::Start::kRefused, run.BeginRetrieval(run.Generation(), [] { return true; }));
  EXPECT_TRUE(run.WaitForRetrievalEnd(milliseconds(0))) << "a refused retrieval does not run";
  EXPECT_EQ(CaptureRun::Start::kBegun, run.BeginRetrieval(run.Generation(), refusesNothing));
  EXPECT_EQ(1, asked);
  run.EndRetrieval();
}

// A stopping bus thread waits for the retrieval in progress, and its wait
// ends with the retrieval.
TEST(CaptureRun, AStopWaitsForTheRetrievalInProgress) {
  CaptureRun run;
  run.Started();
  ASSERT_EQ(CaptureRun::Start::kBegun, run.BeginRetrieval(run.Generation(), [] { return false; }));
  run.BeginStop();
  EXPECT_FALSE(run.WaitForRetrievalEnd(milliseconds(0)));
  std::future<bool> ended =
      std::async(std::launch::async, [&run] { return run.WaitForRetrievalEnd(milliseconds(10000)); });
  run.EndRetrieval();
  EXPECT_TRUE(ended.get());
  run.EndStop();
}
