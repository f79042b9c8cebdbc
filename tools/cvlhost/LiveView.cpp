#include "tools/cvlhost/LiveView.h"

#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <stdexcept>

// The frame, scaled into the widget keeping its aspect ratio (fit), or at its
// own size inside the scroll area (1:1).
class FrameArea : public QWidget {
 public:
  explicit FrameArea(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  void Show(const QImage* image, uint64_t number) {
    _image = image;
    _number = number;
    update();
  }
  void SetFit(bool fit, QSize imageSize) {
    _fit = fit;
    if (fit) {
      setMinimumSize(160, 120);
      setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
      setFixedSize(imageSize);
    }
    update();
  }
  uint64_t Painted() const { return _painted; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!_image || _image->isNull()) return;
    QRect target(QPoint(0, 0), _image->size());
    if (_fit) {
      target.setSize(_image->size().scaled(size(), Qt::KeepAspectRatio));
      target.moveCenter(rect().center());
      painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < _image->width());
    }
    painter.drawImage(target, *_image);
    if (_number != _paintedNumber) {
      _paintedNumber = _number;
      ++_painted;
    }
  }

 private:
  const QImage* _image = nullptr;
  uint64_t _number = 0, _paintedNumber = 0, _painted = 0;
  bool _fit = true;
};

namespace {

QImage::Format FormatOf(int bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1: return QImage::Format_Grayscale8;
    case 2: return QImage::Format_Grayscale16;
    default: return QImage::Format_BGR888;
  }
}

FrameCounters Sum(FrameCounters a, const FrameCounters& b) {
  a.received += b.received;
  a.shown += b.shown;
  a.overwritten += b.overwritten;
  a.retrievalErrors += b.retrievalErrors;
  a.unrequested += b.unrequested;
  return a;
}

QPushButton* AddButton(QHBoxLayout* row, QWidget* parent, const QString& text, const QString& name,
                       const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setToolTip(tip);
  button->setFocusPolicy(Qt::NoFocus);  // keys go to the view
  row->addWidget(button);
  return button;
}

}  // namespace

LiveView::LiveView(Module& module, const LiveViewOptions& options, QWidget* parent)
    : QWidget(parent),
      _module(module),
      _port(options.port),
      _outputDir(QString::fromStdString(options.outputDir)),
      _camera(options.camera) {
  if (_camera.empty()) {
    const char** names = _module.getCVLCameraConfigNames();
    if (!names || !names[0]) throw std::runtime_error("no camera on the bus");
    _camera = names[0];
  }

  _area = new FrameArea(this);
  _scroll = new QScrollArea(this);
  _scroll->setWidget(_area);
  _scroll->setWidgetResizable(true);
  _scroll->setAlignment(Qt::AlignCenter);
  _scroll->setFocusPolicy(Qt::NoFocus);
  _status = new QLabel(this);
  _status->setObjectName("status");
  _status->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QHBoxLayout;
  _pauseButton = AddButton(buttons, this, "Pause", "pause", "Pause or resume the live image (Space)");
  _singleButton = AddButton(buttons, this, "Single grab", "single", "Grab one frame while paused (G)");
  QPushButton* save = AddButton(buttons, this, "Save PNG", "save", "Save the shown frame as PNG (S)");
  QPushButton* configure = AddButton(buttons, this, "Configure...", "configure",
                                     "The driver's configuration dialog; OK re-opens the camera (C)");
  _fitButton = AddButton(buttons, this, "1:1", "zoom", "Fit the image to the window, or show it at 1:1 (F)");
  buttons->addStretch();
  connect(_pauseButton, &QPushButton::clicked, this, [this] { SetPaused(!_paused); });
  connect(_singleButton, &QPushButton::clicked, this, [this] { GrabSingle(); });
  connect(save, &QPushButton::clicked, this, [this] { SaveFrame(); });
  connect(configure, &QPushButton::clicked, this, [this] { Configure(); });
  connect(_fitButton, &QPushButton::clicked, this, [this] { SetFit(!_fit); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(_scroll, 1);
  layout->addLayout(buttons);
  layout->addWidget(_status);
  setFocusPolicy(Qt::StrongFocus);
  setWindowTitle(QString("cvlhost view: %1").arg(CameraName()));

  Open();
  _singleButton->setEnabled(false);
  resize(std::min(_width, 1024) + 8, std::min(_height, 768) + 80);

  _rateClock.start();
  connect(&_statusTimer, &QTimer::timeout, this, [this] { UpdateStatus(); });
  _statusTimer.start(500);
  UpdateStatus();
}

LiveView::~LiveView() { Close(); }

void LiveView::Open() {
  int size[2] = {0, 0};
  if (!_module.openCVLPort(0, _port, _camera.c_str(), size))
    throw std::runtime_error("camera '" + _camera + "' could not be opened on port " + std::to_string(_port));
  _open = true;
  _width = size[0];
  _height = size[1];
  int pixelSize = 8;
  _module.getProperty(0, _port, "PixelSize", &pixelSize);
  _bytesPerPixel = std::max(1, pixelSize / 8);

  const int port = _port;
  getCVLGrabRowFn readRow = _module.getCVLGrabRow;
  const int last = _width - 1;
  _exchange = std::make_shared<FrameExchange>(
      _width, _height, _bytesPerPixel,
      [readRow, port, last](unsigned char* dest, int row) { return readRow(0, port, dest, row, 0, last) == 1; });
  _exchange->SetPaused(_paused);
  // Posted, never called: the grab thread goes on at once. By name, so that
  // the posted call is made by Qt alone (no functor of ours crosses threads).
  _exchange->SetNotify([this] { QMetaObject::invokeMethod(this, "TakeFrame", Qt::QueuedConnection); });
  FrameExchange::Attach(_port, _exchange);
  _module.setCompleteCallback(0, _port, &FrameExchange::OnComplete);
  if (!_paused && !_module.setProperty(0, _port, "continuous", 1)) SetMessage("the camera refused to grab");
  if (!_fit) _area->SetFit(false, QSize(_width, _height));
}

void LiveView::Close() {
  if (!_open) return;
  _module.setProperty(0, _port, "continuous", 0);
  _module.setCompleteCallback(0, _port, nullptr);
  _exchange->SetNotify(nullptr);
  FrameExchange::Detach(_port);
  _module.closeCVLPort(0, _port);
  _closedCounters = Sum(_closedCounters, _exchange->Counters());
  _exchange.reset();
  _open = false;
}

void LiveView::TakeFrame() {
  if (!_exchange || !_exchange->Take(_frame)) return;
  _image = QImage(_frame.pixels.data(), _frame.width, _frame.height, static_cast<qsizetype>(_frame.RowBytes()),
                  FormatOf(_frame.bytesPerPixel));
  _area->Show(&_image, _frame.number + _closedCounters.received);
  emit FrameShown();
}

void LiveView::SetPaused(bool paused) {
  if (paused == _paused) return;
  _paused = paused;
  // The camera stops before the exchange counts frames as unasked for, and
  // the exchange takes frames again before the camera streams: only a frame
  // already on its way when grabbing stopped comes unasked for.
  if (paused && _open) _module.setProperty(0, _port, "continuous", 0);
  if (_exchange) _exchange->SetPaused(paused);
  if (!paused && _open) _module.setProperty(0, _port, "continuous", 1);
  _pauseButton->setText(paused ? "Resume" : "Pause");
  _singleButton->setEnabled(paused);
  UpdateStatus();
}

void LiveView::GrabSingle() {
  if (!_paused || !_open) return;
  // Each grab gives one frame.
  _exchange->ExpectSingleFrame();
  if (!_module.doCVLGrab(0, _port)) SetMessage("the single grab could not be started");
}

QString LiveView::SaveFrame() {
  if (_image.isNull()) {
    SetMessage("no frame to save yet");
    return {};
  }
  QDir folder(_outputDir);
  if (!folder.mkpath(".")) {
    SetMessage("cannot create " + _outputDir);
    return {};
  }
  const QString name = QString("view-%1-%2.png")
                           .arg(QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss"))
                           .arg(_frame.number + _closedCounters.received, 6, 10, QChar('0'));
  const QString path = folder.filePath(name);
  if (!_image.save(path, "PNG")) {
    SetMessage("cannot write " + path);
    return {};
  }
  SetMessage("saved " + path);
  return path;
}

void LiveView::Configure() {
  const int result = _module.configureCamera(static_cast<CvlWindowHandle>(winId()), _camera.c_str());
  if (result != 0) {
    SetMessage("configuration not confirmed, nothing changed");
    return;
  }
  // The camera takes its new settings when it is opened.
  Close();
  try {
    Open();
    SetMessage("configuration confirmed, camera opened again");
  } catch (const std::exception& error) {
    SetMessage(QString::fromStdString(error.what()));
  }
}

void LiveView::SetFit(bool fit) {
  _fit = fit;
  _scroll->setWidgetResizable(fit);
  _area->SetFit(fit, QSize(_width, _height));
  _fitButton->setText(fit ? "1:1" : "Fit");
}

FrameCounters LiveView::Counters() const {
  return _exchange ? Sum(_closedCounters, _exchange->Counters()) : _closedCounters;
}

uint64_t LiveView::FramesPainted() const { return _area->Painted(); }

QString LiveView::StatusText() const { return _status->text(); }

void LiveView::SetMessage(const QString& message) {
  _message = message;
  UpdateStatus();
}

void LiveView::UpdateStatus() {
  const FrameCounters counters = Counters();
  const qint64 elapsed = _rateClock.restart();
  if (elapsed > 0) _framesPerSecond = 1000.0 * static_cast<double>(counters.received - _rateReceived) / elapsed;
  _rateReceived = counters.received;
  QString text = QString("%1 | %2 x %3 | %4 fps | shown %5 | overwritten %6 | errors %7")
                     .arg(CameraName())
                     .arg(_width)
                     .arg(_height)
                     .arg(_paused ? 0.0 : _framesPerSecond, 0, 'f', 1)
                     .arg(counters.shown)
                     .arg(counters.overwritten)
                     .arg(counters.retrievalErrors);
  if (_paused) text += " | paused";
  if (!_open) text += " | closed";
  if (!_message.isEmpty()) text += " | " + _message;
  _status->setText(text);
}

void LiveView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space: SetPaused(!_paused); break;
    case Qt::Key_G: GrabSingle(); break;
    case Qt::Key_S: SaveFrame(); break;
    case Qt::Key_C: Configure(); break;
    case Qt::Key_F: SetFit(!_fit); break;
    case Qt::Key_Q:
    case Qt::Key_Escape: close(); break;
    default: QWidget::keyPressEvent(event);
  }
}
