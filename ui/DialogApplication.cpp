#include "ui/DialogApplication.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/XDisplay.h"

namespace vq {

namespace {

std::mutex applicationLock;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Whether a platform plugin of that name is installed where Qt looks for it.
bool PluginInstalled(const std::string& platform) {
  QStringList folders;
  for (const std::string& folder : Split(Environment("QT_PLUGIN_PATH"), ':'))
    if (!folder.empty()) folders << QString::fromStdString(folder);
  folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
  const QString pattern = QString("libq%1*.so").arg(QString::fromStdString(platform));
  for (const QString& folder : folders)
    if (!QDir(folder + "/platforms").entryList({pattern}, QDir::Files).isEmpty()) return true;
  return false;
}

bool WaylandReachable(const std::string& display) {
  std::string path = display;
  if (path.empty() || path[0] != '/') {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    path = runtime + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool reachable = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return reachable;
}

// Empty when the platform can be started, else why not.
std::string PlatformProblem(const std::string& platform) {
  const std::string name = platform.substr(0, platform.find(':'));
  if (name.empty()) return "an empty platform name";
  if (!PluginInstalled(name)) return "the Qt platform plugin '" + name + "' is not installed";
  if (name == "xcb") {
    const std::string display = Environment("DISPLAY");
    if (display.empty()) return "DISPLAY is not set";
    if (!XDisplayReachable(display)) return "cannot connect to the X display '" + display + "'";
  }
  if (name.rfind("wayland", 0) == 0) {
    const std::string display = Environment("WAYLAND_DISPLAY");
    if (display.empty()) return "WAYLAND_DISPLAY is not set";
    if (!WaylandReachable(display)) return "cannot connect to the Wayland display '" + display + "'";
  }
  return {};
}

// The platforms Qt would try, in its order: QT_QPA_PLATFORM's list, or the
// session's kind of display.
std::vector<std::string> CandidatePlatforms() {
  const std::string chosen = Environment("QT_QPA_PLATFORM");
  if (!chosen.empty()) return Split(chosen, ';');
  if (Environment("XDG_SESSION_TYPE") == "wayland") return {"wayland", "xcb"};
  return {"xcb", "wayland"};
}

// The first platform that can be started; empty with `problem` set when none can.
std::string UsablePlatform(std::string& problem) {
  if (Environment("QT_QPA_PLATFORM").empty() && Environment("DISPLAY").empty() &&
      Environment("WAYLAND_DISPLAY").empty()) {
    problem = "no display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are not set";
    return {};
  }
  std::string problems;
  for (const std::string& platform : CandidatePlatforms()) {
    const std::string why = PlatformProblem(platform);
    if (why.empty()) return platform;
    problems += (problems.empty() ? "" : "; ") + platform + ": " + why;
  }
  problem = "no usable display (" + problems + ")";
  return {};
}

// The module stays loaded once it has started Qt: Qt's libraries, loaded with
// it, must not go while the application object and its threads live.
void KeepModuleLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&KeepModuleLoaded), &info) && info.dli_fname)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void CreateApplication(const std::string& platform) {
  // QApplication keeps references to its arguments for its whole life.
  static std::string platformArgument;
  static char name[] = "VorquellCamera";
  static char platformOption[] = "-platform";
  static char* argv[4] = {};
  static int argc = 3;
  platformArgument = platform;
  argv[0] = name;
  argv[1] = platformOption;
  argv[2] = platformArgument.data();
  argv[3] = nullptr;
  auto* application = new QApplication(argc, argv);
  // Dialogs come and go; closing the last one must not end the application.
  application->setQuitOnLastWindowClosed(false);
  KeepModuleLoaded();
}

}  // namespace

std::string DialogApplication::DisplayProblem() {
  std::string problem;
  UsablePlatform(problem);
  return problem;
}

bool DialogApplication::Prepare(std::string& reason) {
  std::lock_guard<std::mutex> lock(applicationLock);
  if (QCoreApplication* application = QCoreApplication::instance()) {
    if (!qobject_cast<QApplication*>(application)) {
      reason = "the host's Qt application has no widgets";
      return false;
    }
    if (application->thread() != QThread::currentThread()) {
      reason = "the dialog can only be shown on the thread of the Qt application";
      return false;
    }
    return true;
  }
  const std::string platform = UsablePlatform(reason);
  if (platform.empty()) return false;
  CreateApplication(platform);
  return true;
}

QWidget* DialogApplication::HostWidget(CvlWindowHandle parentWindow) {
  return parentWindow ? QWidget::find(static_cast<WId>(parentWindow)) : nullptr;
}

std::unique_ptr<QWindow> DialogApplication::AttachToHostWindow(QWidget& dialog, CvlWindowHandle parentWindow) {
  if (!parentWindow || dialog.parentWidget() || QGuiApplication::platformName() != "xcb") return nullptr;
  std::unique_ptr<QWindow> host(QWindow::fromWinId(static_cast<WId>(parentWindow)));
  if (!host) return nullptr;
  dialog.winId();
  if (QWindow* window = dialog.windowHandle()) window->setTransientParent(host.get());
  return host;
}

}  // namespace vq
