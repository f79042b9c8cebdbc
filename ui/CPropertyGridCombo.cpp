#include "ui/CPropertyGridCombo.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

namespace vq {

CPropertyGridCombo::CPropertyGridCombo(QWidget* grid, const QRect& cell, const QFont& font, const QStringList& labels,
                                       int selected)
    : QComboBox(grid) {
  setFont(font);
  addItems(labels);
  setCurrentIndex(selected >= 0 && selected < count() ? selected : -1);
  setGeometry(cell);
  connect(this, &QComboBox::activated, this, &CPropertyGridCombo::Choose);
  show();
  setFocus(Qt::OtherFocusReason);
}

void CPropertyGridCombo::Drop() {
  showPopup();
  // The list's window closes by itself on Escape or a click elsewhere.
  if (QWidget* list = view()->window(); list != window()) list->installEventFilter(this);
}

bool CPropertyGridCombo::eventFilter(QObject* watched, QEvent* event) {
  // A choice from the list is announced (activated) right after the list
  // closes; only a list closed without one ends the editor unchanged.
  if (event->type() == QEvent::Hide) QTimer::singleShot(0, this, &CPropertyGridCombo::CancelUnlessChosen);
  return QComboBox::eventFilter(watched, event);
}

void CPropertyGridCombo::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      Cancel();
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Choose(currentIndex());
      event->accept();
      return;
    default: QComboBox::keyPressEvent(event);
  }
}

void CPropertyGridCombo::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason) CancelUnlessChosen();
}

void CPropertyGridCombo::Choose(int index) {
  if (_ended || index < 0) return;
  _ended = true;
  emit IndexChosen(index);
}

void CPropertyGridCombo::Cancel() {
  if (_ended) return;
  _ended = true;
  emit Cancelled();
}

void CPropertyGridCombo::CancelUnlessChosen() {
  if (!view()->isVisible()) Cancel();
}

}  // namespace vq
