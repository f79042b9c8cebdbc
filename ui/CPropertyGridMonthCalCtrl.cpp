#include "ui/CPropertyGridMonthCalCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>

namespace vq {

CPropertyGridMonthCalCtrl::CPropertyGridMonthCalCtrl(QWidget* grid, const QRect& cell, const QDate& date)
    : QCalendarWidget(grid) {
  setObjectName("SysMonthCal32");
  setGridVisible(false);
  if (date.isValid()) setSelectedDate(date);
  const QSize size = sizeHint();
  int x = std::clamp(cell.left(), 0, std::max(0, grid->width() - size.width()));
  int y = cell.bottom() + 1;
  if (y + size.height() > grid->height() && cell.top() - size.height() >= 0) y = cell.top() - size.height();
  setGeometry(x, y, size.width(), size.height());
  connect(this, &QCalendarWidget::clicked, this, &CPropertyGridMonthCalCtrl::Choose);
  connect(this, &QCalendarWidget::activated, this, &CPropertyGridMonthCalCtrl::Choose);
  connect(qApp, &QApplication::focusChanged, this, &CPropertyGridMonthCalCtrl::OnFocusChanged);
  show();
  raise();
  setFocus(Qt::OtherFocusReason);
}

void CPropertyGridMonthCalCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Cancel();
    event->accept();
    return;
  }
  QCalendarWidget::keyPressEvent(event);
}

void CPropertyGridMonthCalCtrl::Choose(const QDate& date) {
  if (_ended) return;
  _ended = true;
  emit DateChosen(date);
}

void CPropertyGridMonthCalCtrl::Cancel() {
  if (_ended) return;
  _ended = true;
  emit Cancelled();
}

void CPropertyGridMonthCalCtrl::OnFocusChanged(QWidget*, QWidget* now) {
  // The calendar is made of several widgets; the focus moving among them is
  // not a loss.
  if (now && now != this && !isAncestorOf(now)) Cancel();
}

}  // namespace vq
