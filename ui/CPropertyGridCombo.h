#pragma once
// The grid's drop-down list for list and boolean items: a combo box over the
// value cell whose list opens at once. Choosing an entry hands its index to
// the grid (IndexChosen); closing the list without a choice, Escape or
// losing the focus ends it without one (Cancelled).
#include <QComboBox>
#include <QStringList>

namespace vq {

class CPropertyGridCombo : public QComboBox {
  Q_OBJECT

 public:
  CPropertyGridCombo(QWidget* grid, const QRect& cell, const QFont& font, const QStringList& labels, int selected);

  // Opens the list; done separately so that the grid holds the editor first.
  void Drop();

 signals:
  void IndexChosen(int index);
  void Cancelled();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Choose(int index);
  void Cancel();
  void CancelUnlessChosen();

  bool _ended = false;
};

}  // namespace vq
