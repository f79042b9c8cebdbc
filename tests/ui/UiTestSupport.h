#pragma once
// Helpers of the user-interface tests: the application (created on first
// use, offscreen under ctest), a record of the grid's notifications, and a
// way to act on a modal dialog while the code that opened it waits in exec.
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "params/CameraParameters.h"
#include "ui/CPropertyGrid.h"

namespace vq {
class CPropertyGridInPlaceEdit;
}

namespace uitest {

using namespace vq;

// The test program's application, created on the calling (main) thread on
// first use. Tests that must start without one do not call it.
QApplication& App();
// Destroys the application at the end of the program, if it was created.
void DestroyApplication();

// Shows the widget as a window and waits until it is active.
void ShowActive(QWidget& window);

// The notifications a grid sent, in order.
class NotifyLog {
 public:
  explicit NotifyLog(CPropertyGrid& grid);
  const std::vector<std::pair<int, int>>& Events() const { return _events; }
  // The items of the notifications with that message, in order.
  std::vector<int> Items(int message) const;
  void Clear() { _events.clear(); }

 private:
  std::vector<std::pair<int, int>> _events;
};

// Clicks (press and release) the middle of `rect` of the widget.
void Click(QWidget& widget, const QRect& rect);
// Clicks the value cell of the item, scrolled into view first: editing
// starts on the release.
void ClickValue(CPropertyGrid& grid, HITEM item);
// Clicks the name cell of the item, scrolled into view first.
void ClickName(CPropertyGrid& grid, HITEM item);
// The grid's running edit box; fails the test when there is none.
CPropertyGridInPlaceEdit* EditBox(CPropertyGrid& grid);
// Replaces the running edit box's text by typing and presses Enter.
void TypeIntoEditBox(CPropertyGrid& grid, const QString& text);
// Chooses entry `index` of the item's drop-down list with the keyboard.
void ChooseFromDropDown(CPropertyGrid& grid, HITEM item, int index);

// The video-mode and Format7 parameters a Format7 camera of 1280x960 has,
// built by hand: "DCAMVideoMode" (640x480Y8, 1280x960Y8, FORMAT7; FORMAT7
// selected), "DCAMFrameRate", "Fmt7Mode", "offsetX", "offsetY", "width",
// "height", "Fmt7PacketSize", "Fmt7PixelFormat", with the constraint that
// puts the seven Format7 parameters out of force in a fixed mode and one that
// offers 7.5 and 30 fps in 640x480Y8, 15 fps in 1280x960Y8 and FORMAT7 in Format7.
void AddFormat7Parameters(CameraParameters& params);
// The Format7 parameters, in the order the camera has them.
inline const std::vector<std::string> kFormat7Names{"Fmt7Mode", "offsetX",        "offsetY",        "width",
                                                    "height",   "Fmt7PacketSize", "Fmt7PixelFormat"};

// Runs `action` on the first visible modal widget of type T that shows within
// the deadline, from a timer of the event loop that the modal run spins.
// A dialog that the action leaves open is rejected afterwards, so a failed
// expectation never leaves a test waiting in exec.
template <class T>
class OnModal {
 public:
  explicit OnModal(std::function<void(T&)> action, int deadlineMs = 30000)
      : _action(std::move(action)), _polls(deadlineMs / kPollMs) {
    QObject::connect(&_timer, &QTimer::timeout, [this] { Poll(); });
    _timer.start(kPollMs);
  }
  ~OnModal() { _timer.stop(); }
  bool Ran() const { return _ran; }

 private:
  static constexpr int kPollMs = 5;

  void Poll() {
    if (--_polls < 0) {
      _timer.stop();
      return;
    }
    T* modal = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (!modal || !modal->isVisible()) return;
    _timer.stop();
    _ran = true;
    QPointer<QWidget> guard(modal);
    _action(*modal);
    if (auto* dialog = qobject_cast<QDialog*>(guard.data()); dialog && dialog->isVisible()) dialog->reject();
  }

  std::function<void(T&)> _action;
  int _polls;
  QTimer _timer;
  bool _ran = false;
};

}  // namespace uitest
