// configureCamera in a process that has no Qt application yet. Each case
// runs in a child process of this program with the environment it needs, so
// that no application from another test is around; the child is a disabled
// test, run by name.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "camera/Camera.h"
#include "include/VorquellCamera.h"
#include "tests/support/DriverFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CSheet1.h"

using namespace vq;

extern char** environ;

namespace {

struct ChildOutcome {
  int status = -1;
  std::string output;
};

// Runs one test of this program in a child process whose environment is this
// one with `changes` applied (nullopt removes a variable).
ChildOutcome RunChild(const std::string& test, const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    if (!changes.count(variable.substr(0, variable.find('=')))) variables.push_back(variable);
  }
  for (const auto& [name, value] : changes)
    if (value) variables.push_back(name + "=" + *value);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  std::string program = "/proc/self/exe";
  std::string filter = "--gtest_filter=" + test;
  std::string disabled = "--gtest_also_run_disabled_tests";
  std::vector<char*> argv{program.data(), filter.data(), disabled.data(), nullptr};

  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  ChildOutcome outcome;
  char buffer[4096];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) outcome.output.append(buffer, got);
  close(pipeEnds[0]);
  if (spawned != 0) return outcome;
  int status = 0;
  waitpid(child, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

const std::map<std::string, std::optional<std::string>> kNoDisplay{
    {"DISPLAY", std::nullopt},
    {"WAYLAND_DISPLAY", std::nullopt},
    {"QT_QPA_PLATFORM", std::nullopt},
    {"XDG_SESSION_TYPE", std::nullopt},
};

void ExpectChildPasses(const std::string& test, const std::map<std::string, std::optional<std::string>>& changes) {
  const ChildOutcome outcome = RunChild(test, changes);
  EXPECT_EQ(0, outcome.status) << outcome.output;
  EXPECT_NE(std::string::npos, outcome.output.find("[  PASSED  ] 1 test.")) << outcome.output;
}

TEST(NoDisplay, ConfigureIsRefusedAndTheProcessGoesOn) {
  ExpectChildPasses("NoDisplayChild.DISABLED_RefusesAndGoesOn", kNoDisplay);
}

TEST(NoDisplay, UnreachableXDisplayIsRefused) {
  auto changes = kNoDisplay;
  changes["DISPLAY"] = ":93";
  ExpectChildPasses("NoDisplayChild.DISABLED_UnreachableXDisplay", changes);
}

TEST(NoDisplay, ModuleCreatesTheApplicationOnceOnItsThread) {
  auto changes = kNoDisplay;
  changes["QT_QPA_PLATFORM"] = "offscreen";
  ExpectChildPasses("NoDisplayChild.DISABLED_CreatesTheApplicationOnce", changes);
}

// ---- the children ---------------------------------------------------------------

class NoDisplayChild : public vqtest::DriverFixture {};

TEST_F(NoDisplayChild, DISABLED_RefusesAndGoesOn) {
  ASSERT_EQ(nullptr, QCoreApplication::instance());
  EXPECT_EQ(1, configureCamera(0, "Colour (1111)"));
  EXPECT_TRUE(Log().Contains("Camera::Configure: ERROR: " + Colour().Tag() +
                             ", no display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are not set\n"));
  EXPECT_TRUE(Log().Contains("configureCamera: leaving cameraName=Colour (1111)\n"));
  EXPECT_EQ(nullptr, QCoreApplication::instance()) << "Qt was started";

  // Opening, grabbing and property commands go on without a display.
  int size[2];
  ASSERT_EQ(1, openCVLPort(0, 1, "Colour (1111)", size));
  int pixelSize = 0;
  EXPECT_EQ(1, getProperty(0, 1, "PixelSize", &pixelSize));
  EXPECT_EQ(24, pixelSize);
  ASSERT_EQ(1, doCVLGrab(0, 1));
  ASSERT_TRUE(WaitForState(Colour(), CamCapture));
  std::vector<unsigned char> row(static_cast<size_t>(size[0]) * 3);
  EXPECT_EQ(1, getCVLGrabRow(0, 1, row.data(), 0, 0, size[0] - 1));
  EXPECT_EQ(1, configureCamera(0, "Colour (1111)"));
  EXPECT_EQ(nullptr, QCoreApplication::instance());
}

TEST_F(NoDisplayChild, DISABLED_UnreachableXDisplay) {
  ASSERT_EQ(nullptr, QCoreApplication::instance());
  EXPECT_EQ(1, configureCamera(0, "Colour (1111)"));
  EXPECT_TRUE(Log().ContainsPrefix("Camera::Configure: ERROR: " + Colour().Tag() +
                                   ", no usable display (xcb: cannot connect to the X display ':93'"));
  EXPECT_EQ(nullptr, QCoreApplication::instance());
}

// Registered before the driver creates the application; once that exists
// and the first dialog runs, it is confirmed with OK.
std::unique_ptr<uitest::OnModal<CSheet1>> answer;

void AnswerTheFirstDialogWithOk() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [] {
        answer = std::make_unique<uitest::OnModal<CSheet1>>(
            [](CSheet1& sheet) { QTest::mouseClick(sheet.OkButton(), Qt::LeftButton); });
      },
      Qt::QueuedConnection);
}

TEST_F(NoDisplayChild, DISABLED_CreatesTheApplicationOnce) {
  ASSERT_EQ(nullptr, QCoreApplication::instance());
  qAddPreRoutine(AnswerTheFirstDialogWithOk);
  EXPECT_EQ(0, configureCamera(0, "Colour (1111)"));
  ASSERT_TRUE(answer && answer->Ran());
  QCoreApplication* application = QCoreApplication::instance();
  ASSERT_NE(nullptr, qobject_cast<QApplication*>(application));

  int fromOtherThread = -1;
  std::thread other([&] { fromOtherThread = configureCamera(0, "Colour (1111)"); });
  other.join();
  EXPECT_EQ(1, fromOtherThread);
  EXPECT_TRUE(Log().Contains("Camera::Configure: ERROR: " + Colour().Tag() +
                             ", the dialog can only be shown on the thread of the Qt application\n"));

  uitest::OnModal<CSheet1> cancel([](CSheet1& sheet) { QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton); });
  EXPECT_EQ(1, configureCamera(0, "Colour (1111)"));
  EXPECT_TRUE(cancel.Ran());
  EXPECT_EQ(application, QCoreApplication::instance()) << "the application is made once";
  answer.reset();
  // The driver keeps its application for the life of the process. This
  // process ends it itself, as a host may: the leak checker runs at exit and
  // would report font-configuration memory that lives as long as the
  // application.
  delete application;
}

}  // namespace
