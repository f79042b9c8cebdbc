// The user-interface tests' main: the application is created by the first
// test that needs one and destroyed after the last test, so tests that must
// run without one (in child processes) can.
#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"

#if defined(__SANITIZE_THREAD__)
// Qt's libraries are not built with ThreadSanitizer: the sanitizer sees their
// calls to its interceptors (memory, allocation, some locks) but not the
// futex-based QMutex and QSemaphore nor the atomics that order them. Qt 6.4's
// raster painter splits large fills across QThreadPool threads and collects
// them with a QSemaphore, so every dialog paint reports races between those
// pool threads inside libQt6Core and libQt6Gui, with no frame of ours on the
// racing side. This flag keeps the interceptors from reporting on behalf of
// code that is not instrumented; every access made by our own, instrumented
// code is still checked.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  uitest::DestroyApplication();
  return result;
}
