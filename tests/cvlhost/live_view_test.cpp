// The live view offscreen against the simulated cameras, through the module
// loaded with dlopen as cvlhost loads it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "tools/cvlhost/LiveView.h"
#include "tools/cvlhost/Module.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 30s;
constexpr int kPort = 4;

// Spins the event loop until `done`, at most until the deadline.
bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// Waits for `done` without letting the window run: the grab thread must go on.
bool WaitWithoutEvents(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

Module& TheModule() {
  static Module module(VQ_MODULE_PATH);
  return module;
}

// The driver's log, shown when VQ_TEST_LOG is set.
void IgnoreLog(const char* text) {
  if (std::getenv("VQ_TEST_LOG")) std::fputs(text, stderr);
}

struct Camera {
  std::string name;
  QImage::Format format;
};
void PrintTo(const Camera& camera, std::ostream* out) { *out << camera.name; }

class LiveViewTest : public testing::TestWithParam<Camera> {
 protected:
  void SetUp() override {
    _folder = std::filesystem::temp_directory_path() / ("cvlhost-view-" + std::to_string(getpid()));
    std::filesystem::remove_all(_folder);
    std::filesystem::create_directories(_folder);
    ASSERT_EQ(1, TheModule().initialize(_folder.c_str(), IgnoreLog));
    _view =
        std::make_unique<LiveView>(TheModule(), LiveViewOptions{GetParam().name, kPort, (_folder / "saved").string()});
    _view->show();
    // Shown, the log goes down to the bus thread's requests (the open has
    // applied the camera's own level).
    if (std::getenv("VQ_TEST_LOG")) TheModule().setProperty(0, kPort, "loglevel", 3);
  }
  void TearDown() override {
    _view.reset();
    TheModule().finalize();
    std::filesystem::remove_all(_folder);
  }
  LiveView& View() { return *_view; }
  bool WaitForPainted(uint64_t more) {
    const uint64_t target = View().FramesPainted() + more;
    return WaitFor([&] { return View().FramesPainted() >= target; });
  }

  std::filesystem::path _folder;
  std::unique_ptr<LiveView> _view;
};

TEST_P(LiveViewTest, FramesArriveArePaintedAndCounted) {
  ASSERT_TRUE(WaitForPainted(3));
  EXPECT_EQ(QSize(640, 480), View().Image().size());
  EXPECT_EQ(GetParam().format, View().Image().format());

  // The window takes nothing for a while: the grab thread goes on, and all
  // frames but the newest are counted as overwritten.
  const FrameCounters before = View().Counters();
  ASSERT_TRUE(WaitWithoutEvents([&] { return View().Counters().received >= before.received + 5; }));
  const FrameCounters during = View().Counters();
  EXPECT_EQ(before.shown, during.shown);
  EXPECT_GE(during.overwritten - before.overwritten, during.received - before.received - 1);
  EXPECT_EQ(0u, during.retrievalErrors);
  ASSERT_TRUE(WaitForPainted(1));

  // The status line: camera, size, a rate, the counters.
  const QRegularExpression status(QString("^%1 \\| 640 x 480 \\| (\\d+\\.\\d) fps \\| shown (\\d+) \\| "
                                          "overwritten (\\d+) \\| errors 0$")
                                      .arg(QRegularExpression::escape(View().CameraName())));
  ASSERT_TRUE(WaitFor([&] {
    const auto match = status.match(View().StatusText());
    return match.hasMatch() && match.captured(1).toDouble() > 0 && match.captured(3).toULongLong() > 0;
  })) << View().StatusText().toStdString();
}

TEST_P(LiveViewTest, PauseStopsFramesAndSingleGrabsShowOneEach) {
  ASSERT_TRUE(WaitForPainted(1));
  QTest::keyClick(&View(), Qt::Key_Space);
  ASSERT_TRUE(View().Paused());
  EXPECT_TRUE(View().StatusText().endsWith(" | paused")) << View().StatusText().toStdString();
  // A frame handed over before the pause is still shown; after that, only
  // the frames asked for.
  QCoreApplication::sendPostedEvents();
  const uint64_t paused = View().Counters().shown;
  for (uint64_t grab = 1; grab <= 3; ++grab) {
    QTest::keyClick(&View(), Qt::Key_G);
    ASSERT_TRUE(WaitFor([&] { return View().Counters().shown >= paused + grab; })) << "single grab " << grab;
    EXPECT_EQ(paused + grab, View().Counters().shown);
  }
  // Unasked frames: at most the one on its way when the pause came; each
  // single grab gives its frame only. A camera that kept grabbing, also for
  // a moment between the pause and the camera's stop, would deliver dozens.
  EXPECT_LE(View().Counters().unrequested, 1u);

  QTest::mouseClick(View().findChild<QPushButton*>("pause"), Qt::LeftButton);
  EXPECT_FALSE(View().Paused());
  EXPECT_TRUE(WaitForPainted(3));
}

TEST_P(LiveViewTest, SaveWritesTheShownFrameAsPng) {
  ASSERT_TRUE(WaitForPainted(1));
  QTest::keyClick(&View(), Qt::Key_Space);  // the shown frame stays
  QTest::keyClick(&View(), Qt::Key_S);
  const QStringList saved = QDir(QString::fromStdString((_folder / "saved").string())).entryList({"view-*.png"});
  ASSERT_EQ(1, saved.size());
  QImage file(QString::fromStdString((_folder / "saved").string()) + "/" + saved[0]);
  ASSERT_FALSE(file.isNull());
  EXPECT_EQ(View().Image().convertToFormat(QImage::Format_RGB888), file.convertToFormat(QImage::Format_RGB888));
  EXPECT_TRUE(View().StatusText().contains(" | saved ")) << View().StatusText().toStdString();
}

TEST_P(LiveViewTest, ConfigurationConfirmedOpensTheCameraAgain) {
  ASSERT_TRUE(WaitForPainted(1));
  // Every modal the driver shows is confirmed with OK: the warning that the
  // camera is grabbing, then the configuration dialog itself.
  bool sheetConfirmed = false;
  QWidget* answered = nullptr;
  int polls = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || dialog == answered || !dialog->isVisible()) return;
    if (++polls > 3000) {  // no OK within 30 s: never leave the test waiting in the dialog
      dialog->close();
      return;
    }
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
      if (button->text() == "OK" && button->isEnabled()) {
        answered = dialog;
        sheetConfirmed |= qobject_cast<QMessageBox*>(dialog) == nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        return;
      }
  });
  answer.start(10);
  QTest::keyClick(&View(), Qt::Key_C);  // returns when the dialog is closed
  answer.stop();
  ASSERT_TRUE(sheetConfirmed);
  EXPECT_TRUE(View().StatusText().endsWith(" | configuration confirmed, camera opened again"))
      << View().StatusText().toStdString();
  EXPECT_TRUE(WaitForPainted(3));
}

INSTANTIATE_TEST_SUITE_P(Cameras, LiveViewTest,
                         testing::Values(Camera{"View Colour (7001)", QImage::Format_BGR888},
                                         Camera{"View Mono (7002)", QImage::Format_Grayscale8}),
                         [](const auto& info) { return info.index == 0 ? "Colour" : "Mono"; });

}  // namespace
