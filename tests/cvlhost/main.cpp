// The reference host's tests: the live view offscreen in this process, the
// command line in child processes. The simulated fleet of this process has
// free-running cameras, so frames come faster than the window takes them.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(__SANITIZE_THREAD__)
// As in the user-interface tests: Qt's libraries are not built with
// ThreadSanitizer, whose interceptors would report on behalf of their
// futex-based locks (raster painting on QThreadPool threads); every access
// of our own, instrumented code is still checked.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const auto fleet =
      std::filesystem::temp_directory_path() / ("cvlhost-tests-fleet-" + std::to_string(getpid()) + ".json");
  std::ofstream(fleet) << R"({"cameras": [
    {"model": "View Colour", "serial": 7001, "color": true, "freeRunning": true},
    {"model": "View Mono", "serial": 7002, "color": false, "freeRunning": true}]})";
  setenv("VORQUELL_SIM_FLEET", fleet.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // also when ctest lists the tests
  int result;
  {
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::filesystem::remove(fleet);
  return result;
}
