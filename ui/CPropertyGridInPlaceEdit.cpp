#include "ui/CPropertyGridInPlaceEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace vq {

CPropertyGridInPlaceEdit::CPropertyGridInPlaceEdit(QWidget* grid, const QRect& rect, const QFont& font,
                                                   const QString& text)
    : QLineEdit(text, grid), _initialText(text) {
  setFont(font);
  setFrame(false);
  setGeometry(rect);
  selectAll();
  show();
  setFocus(Qt::OtherFocusReason);
}

void CPropertyGridInPlaceEdit::Finish() {
  if (_ended) return;
  _ended = true;
  emit TextDone(text());
}

void CPropertyGridInPlaceEdit::Cancel() {
  if (_ended) return;
  _ended = true;
  setText(_initialText);
  emit Cancelled();
}

void CPropertyGridInPlaceEdit::GiveFocusBack() {
  if (parentWidget()) parentWidget()->setFocus(Qt::OtherFocusReason);
  // Without an active window the focus change sends no focus-out event.
  Finish();
}

bool CPropertyGridInPlaceEdit::event(QEvent* event) {
  // Tab would otherwise move the focus along the dialog's chain before
  // keyPressEvent sees it.
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
      GiveFocusBack();
      return true;
    }
  }
  return QLineEdit::event(event);
}

void CPropertyGridInPlaceEdit::keyPressEvent(QKeyEvent* event) {
  const bool control = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Accepted here, so that the dialog's default button does not fire.
      GiveFocusBack();
      event->accept();
      return;
    case Qt::Key_Escape:
      Cancel();
      event->accept();
      return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      if (control) {
        GiveFocusBack();
        event->accept();
        return;
      }
      break;
    default: break;
  }
  QLineEdit::keyPressEvent(event);
}

void CPropertyGridInPlaceEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // The edit's own context menu takes the focus only for a moment.
  if (event->reason() != Qt::PopupFocusReason) Finish();
}

}  // namespace vq
