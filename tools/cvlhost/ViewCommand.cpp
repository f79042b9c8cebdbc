#include "tools/cvlhost/ViewCommand.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "platform/XDisplay.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string DisplayProblem() {
  if (!Environment("QT_QPA_PLATFORM").empty()) return {};
  const std::string display = Environment("DISPLAY");
  if (display.empty()) return "no display: DISPLAY and QT_QPA_PLATFORM are not set";
  if (!vq::XDisplayReachable(display)) return "no display: cannot connect to the X display '" + display + "'";
  return {};
}

int RunLiveView(Module& module, const LiveViewOptions& options, const std::string& screenshot) {
  const std::string problem = DisplayProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "cvlhost: %s\n", problem.c_str());
    return 1;
  }
  int argc = 1;
  char name[] = "cvlhost";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  LiveView view(module, options);
  view.show();
  QTimer shot;
  QElapsedTimer running;
  running.start();
  int status = 0;
  if (!screenshot.empty()) {
    QObject::connect(&shot, &QTimer::timeout, [&] {
      if (running.elapsed() < 1500) return;
      if (view.FramesPainted() == 0 && running.elapsed() < 30000) return;
      if (!view.grab().save(QString::fromStdString(screenshot), "PNG")) {
        std::fprintf(stderr, "cvlhost: cannot write %s\n", screenshot.c_str());
        status = 1;
      }
      application.quit();
    });
    shot.start(100);
  }
  const int result = application.exec();
  return status ? status : result;
}
