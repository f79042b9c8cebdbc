#include "ui/CSheet1.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <algorithm>

namespace vq {

namespace {

constexpr int kMargin = 7;
constexpr int kButtonTop = 27;
constexpr int kButtonGap = 5;
constexpr int kStatusLength = 255;

}  // namespace

CSheet1::CSheet1(const QString& title, QWidget* parent, int firstPage) : QDialog(parent), _firstPage(firstPage) {
  setWindowTitle(title);
  _pages = new QTabWidget(this);
  _ok = new QPushButton("OK", this);
  _cancel = new QPushButton("Cancel", this);
  _ok->setDefault(true);
  connect(_ok, &QPushButton::clicked, this, &CSheet1::accept);
  connect(_cancel, &QPushButton::clicked, this, &CSheet1::reject);
  // Built now rather than at first show, so that a page can report to it
  // while it is being filled.
  _statusBar = new QStatusBar(this);
  _statusBar->setObjectName(QString("StatusBar%1").arg(kStatusBarId));
  _statusBar->setSizeGripEnabled(false);
  _statusText = new QLabel(_statusBar);
  _statusBar->addWidget(_statusText, 1);
}

void CSheet1::AddPage(QWidget* page) { _pages->addTab(page, page->windowTitle()); }

void CSheet1::SetOkEnabled(bool enabled) {
  _okEnabled = enabled;
  _ok->setEnabled(enabled);
  if (enabled) ClearStatus();
}

void CSheet1::ClearStatus() { _statusText->clear(); }

void CSheet1::ShowStatus(QWidget* page, const QString& message) {
  _statusText->setText((page->windowTitle() + ": " + message).left(kStatusLength));
}

QString CSheet1::StatusText() const { return _statusText->text(); }

void CSheet1::accept() {
  emit AboutToAccept();
  if (!_okEnabled) return;
  QDialog::accept();
}

void CSheet1::showEvent(QShowEvent* event) {
  if (!_initialized) InitDialog();
  QDialog::showEvent(event);
}

// The sheet has no Apply and no Help button. OK and Cancel stand at the
// right of the pages instead of in a row below them, and the status bar runs
// along the bottom.
void CSheet1::InitDialog() {
  _initialized = true;
  const QSize pages = _pages->sizeHint();
  _pages->setGeometry(kMargin, kMargin, pages.width(), pages.height());

  const QSize button = _ok->sizeHint().expandedTo(_cancel->sizeHint()).expandedTo(QSize(75, 0));
  const int width = kMargin + pages.width() + kMargin + button.width() + 15;
  const int x = width - button.width() - 17;
  _ok->setGeometry(x, kButtonTop, button.width(), button.height());
  _cancel->setGeometry(x, kButtonTop + button.height() + kButtonGap, button.width(), button.height());

  const int statusHeight = _statusBar->sizeHint().height();
  const int height = kMargin + pages.height() + kMargin + statusHeight;
  _statusBar->setGeometry(0, height - statusHeight, width, statusHeight);
  setFixedSize(width, height);

  // Every page is activated once, from the last to the first, so that each
  // exists and the first one shows.
  for (int page = _pages->count() - 1; page >= 0; --page) _pages->setCurrentIndex(page);
  _pages->setCurrentIndex(std::clamp(_firstPage, 0, std::max(0, _pages->count() - 1)));
  if (QWidget* current = _pages->currentWidget()) current->setFocus(Qt::OtherFocusReason);
}

}  // namespace vq
