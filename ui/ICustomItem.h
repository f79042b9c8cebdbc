#pragma once
// The handler of a custom grid item (kind 0): it supplies the item's text,
// may draw the value cell itself, and decides what an edit means.
#include <QRect>
#include <QString>

class QPainter;
class QWidget;

namespace vq {

class ICustomItem {
 public:
  enum EditMode {
    EM_NONE,     // not editable
    EM_INPLACE,  // edited in the grid's edit box
    EM_MODAL,    // a button in the value cell runs OnItemButton
  };

  virtual ~ICustomItem() = default;

  virtual EditMode GetEditMode() const = 0;
  // The text shown in the value cell.
  virtual QString DisplayText() const = 0;
  // The text the edit box starts with.
  virtual QString EditText() const { return DisplayText(); }
  // Draws the value cell; returns false to let the grid draw DisplayText.
  virtual bool DrawItem(QPainter& painter, const QRect& cell, bool focused) {
    (void)painter;
    (void)cell;
    (void)focused;
    return false;
  }
  // The edit box closed with `text`; true when the value changed.
  virtual bool OnEditChanged(const QString& text) = 0;
  // The button in the value cell was clicked; true when the value changed.
  virtual bool OnItemButton(QWidget* grid) {
    (void)grid;
    return false;
  }
};

}  // namespace vq
