#pragma once
// cvlhost's live view: a window that opens a camera through the driver's
// entry points exactly as a host does (completion callback on the driver's
// grab thread, rows pulled with getCVLGrabRow) and shows the newest frame,
// scaled to the window or at 1:1, with a status line.
//
// The callback never waits for the window: it hands frames over through a
// FrameExchange and posts one notice; the window takes the newest frame when
// it gets to it, and the frames it had no time for are counted as
// overwritten.
//
// Keys (and buttons): Space pause/resume, G single grab (while paused),
// S save the shown frame as PNG, C the driver's configuration dialog (OK
// re-opens the camera so that the new settings show), F fit to the window
// or 1:1, Q or Escape close.
//
// Threads: everything on the thread of the Qt application; the exchange's
// grab side on the driver's grab thread.
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "tools/cvlhost/FrameExchange.h"
#include "tools/cvlhost/Module.h"

class QLabel;
class QPushButton;
class QScrollArea;
class FrameArea;

struct LiveViewOptions {
  std::string camera;  // as listed; empty: the first camera
  int port = 0;
  std::string outputDir = ".";  // where saved frames go
};

class LiveView : public QWidget {
  Q_OBJECT

 public:
  // Opens the camera and starts grabbing continuously. Throws
  // std::runtime_error when there is no such camera or it does not open.
  LiveView(Module& module, const LiveViewOptions& options, QWidget* parent = nullptr);
  // Stops grabbing and closes the camera.
  ~LiveView() override;

  void SetPaused(bool paused);
  bool Paused() const { return _paused; }
  // One frame while paused.
  void GrabSingle();
  // Writes the shown frame as PNG into the output folder; its path, or empty
  // when there is no frame yet or it could not be written.
  QString SaveFrame();
  // The driver's configuration dialog over this window; after OK the camera
  // is closed and opened again.
  void Configure();
  void SetFit(bool fit);
  bool Fit() const { return _fit; }

  FrameCounters Counters() const;
  // Frames drawn into the window (a frame repainted counts once).
  uint64_t FramesPainted() const;
  QString StatusText() const;
  const QImage& Image() const { return _image; }
  QString CameraName() const { return QString::fromStdString(_camera); }

 signals:
  void FrameShown();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Open();
  void Close();
  // Posted by the exchange's notice.
  Q_INVOKABLE void TakeFrame();
  void UpdateStatus();
  void SetMessage(const QString& message);

  Module& _module;
  const int _port;
  const QString _outputDir;
  std::string _camera;
  int _width = 0, _height = 0, _bytesPerPixel = 1;
  bool _open = false;
  bool _paused = false;
  bool _fit = true;

  std::shared_ptr<FrameExchange> _exchange;
  FrameCounters _closedCounters;  // of the exchanges of earlier openings
  Frame _frame;                   // the frame shown; _image points into it
  QImage _image;

  FrameArea* _area;
  QScrollArea* _scroll;
  QLabel* _status;
  QPushButton* _pauseButton;
  QPushButton* _singleButton;
  QPushButton* _fitButton;
  QString _message;

  QTimer _statusTimer;
  QElapsedTimer _rateClock;
  uint64_t _rateReceived = 0;
  double _framesPerSecond = 0;
};
