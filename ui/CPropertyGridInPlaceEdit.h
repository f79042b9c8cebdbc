#pragma once
// The grid's in-place edit box. Enter, Tab and, with Control held, the arrow
// and page keys give the focus back to the grid; losing the focus hands the
// text to the grid once (TextDone) and ends the box. Escape puts back the
// text the box started with and ends it without handing anything over.
#include <QLineEdit>
#include <QString>

namespace vq {

class CPropertyGridInPlaceEdit : public QLineEdit {
  Q_OBJECT

 public:
  // Shown over `rect` of `grid` with the grid's font, its text selected.
  CPropertyGridInPlaceEdit(QWidget* grid, const QRect& rect, const QFont& font, const QString& text);

  // Hands the text to the grid unless that happened already.
  void Finish();
  // Puts the starting text back and ends the box without handing it over.
  void Cancel();

 signals:
  void TextDone(const QString& text);
  void Cancelled();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void GiveFocusBack();

  QString _initialText;
  // Set once the box has ended, so that the focus loss that follows the end
  // does not hand the text over a second time.
  bool _ended = false;
};

}  // namespace vq
