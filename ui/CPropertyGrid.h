#pragma once
// A two-column grid of named values (name | value) under collapsible section
// titles, painted and driven by itself. A click on a value edits it in place:
// an edit box, a drop-down list or a month calendar over the value cell, or a
// dialog behind a button drawn in the cell. The owner connects to Notify and
// learns of stored edits (WM_PG_ITEMCHANGED) and of the focused item
// (WM_PG_SELCHANGED).
#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "ui/ICustomItem.h"

class QScrollBar;

namespace vq {

// Notifications to the owner, sent as Notify(message, item).
inline constexpr int WM_PG_ITEMCHANGED = 0x5E6;  // an editor stored a new value in the item
inline constexpr int WM_PG_SELCHANGED = 0x5E7;   // the focused item changed (CPropertyGrid::kNone: none)

using HSECTION = int;
using HITEM = int;

class CPropertyGrid : public QWidget {
  Q_OBJECT

 public:
  enum EItemType {
    IT_CUSTOM = 0,
    IT_STRING = 1,
    IT_TEXT = 2,  // multi-line
    IT_INTEGER = 3,
    IT_DOUBLE = 4,
    IT_COMBO = 5,
    IT_BOOLEAN = 6,
    IT_DATE = 7,
    IT_DATETIME = 8,
    IT_FILE = 9,
    IT_FOLDER = 10,
    IT_COLOR = 11,
    IT_FONT = 12,
  };
  // The handle of no section and no item.
  static constexpr int kNone = -1;

  // The font is the parent's, or Tahoma 8.5 pt without a parent. The OK and
  // Cancel texts of the editing dialogs are those of the parent's OK and
  // Cancel buttons (a QDialogButtonBox among its children) when it has them.
  explicit CPropertyGrid(QWidget* parent = nullptr);
  ~CPropertyGrid() override;

  // ---- contents ----------------------------------------------------------
  // Item adders return kNone for a section that does not exist.
  HSECTION AddSection(const QString& title);
  HITEM AddCustomItem(HSECTION section, const QString& name, std::shared_ptr<ICustomItem> handler, bool enabled = true);
  HITEM AddStringItem(HSECTION section, const QString& name, const QString& value, bool enabled = true);
  HITEM AddTextItem(HSECTION section, const QString& name, const QString& value, bool enabled = true);
  // Held as 64-bit; an edit keeps the value within the width it was added with.
  HITEM AddIntegerItem(HSECTION section, const QString& name, int value, const QString& format = {},
                       bool enabled = true);
  HITEM AddIntegerItem(HSECTION section, const QString& name, unsigned value, const QString& format = {},
                       bool enabled = true);
  HITEM AddIntegerItem(HSECTION section, const QString& name, int64_t value, const QString& format = {},
                       bool enabled = true);
  HITEM AddDoubleItem(HSECTION section, const QString& name, double value, const QString& format = {},
                      bool enabled = true);
  HITEM AddComboItem(HSECTION section, const QString& name, const QStringList& options, int64_t selected,
                     bool enabled = true);
  HITEM AddBoolItem(HSECTION section, const QString& name, bool value, bool enabled = true);
  HITEM AddDateItem(HSECTION section, const QString& name, const QDate& value, bool enabled = true);
  HITEM AddDateTimeItem(HSECTION section, const QString& name, const QDateTime& value, bool enabled = true);
  // `filter` is the file dialog's name filter, e.g. "Settings (*.ini)".
  HITEM AddFileItem(HSECTION section, const QString& name, const QString& value, const QString& filter = {},
                    bool enabled = true);
  HITEM AddFolderItem(HSECTION section, const QString& name, const QString& value, bool enabled = true);
  HITEM AddColorItem(HSECTION section, const QString& name, const QColor& value, bool enabled = true);
  HITEM AddFontItem(HSECTION section, const QString& name, const QFont& value, bool enabled = true);

  // ---- values --------------------------------------------------------------
  // False when the handle names no item or an item of another kind. Setting
  // stores the value, clears the undefined flag and repaints; it notifies no one.
  bool SetItemValue(HITEM item, const QString& value);  // string, multi-line, file, folder
  bool SetItemValue(HITEM item, const char* value);
  bool SetItemValue(HITEM item, int value);  // integer; list: the selected index
  bool SetItemValue(HITEM item, unsigned value);
  bool SetItemValue(HITEM item, int64_t value);
  bool SetItemValue(HITEM item, double value);
  bool SetItemValue(HITEM item, bool value);
  bool SetItemValue(HITEM item, const QDate& value);
  bool SetItemValue(HITEM item, const QDateTime& value);
  bool SetItemValue(HITEM item, const QColor& value);
  bool SetItemValue(HITEM item, const QFont& value);

  // The 32-bit forms also fail when the value does not fit them. A list item
  // answers the text form with its selected label (false when the index is
  // outside its labels).
  bool GetItemValue(HITEM item, QString& value) const;
  bool GetItemValue(HITEM item, int& value) const;
  bool GetItemValue(HITEM item, unsigned& value) const;
  bool GetItemValue(HITEM item, int64_t& value) const;
  bool GetItemValue(HITEM item, double& value) const;
  bool GetItemValue(HITEM item, bool& value) const;
  bool GetItemValue(HITEM item, QDate& value) const;
  bool GetItemValue(HITEM item, QDateTime& value) const;
  bool GetItemValue(HITEM item, QColor& value) const;
  bool GetItemValue(HITEM item, QFont& value) const;

  // Replaces the labels of a list item; false for any other item.
  bool SetItemOptions(HITEM item, const QStringList& options);
  // The labels of a list item; empty for any other item.
  QStringList GetItemOptions(HITEM item) const;
  // An item without a defined value shows the undefined text.
  void SetItemUndefined(HITEM item);
  bool IsItemUndefined(HITEM item) const;

  // ---- focus and state --------------------------------------------------------
  // Focuses the item (expanding its section), sends WM_PG_SELCHANGED, repaints
  // and scrolls it into view. A handle that names no item is ignored.
  void SelectItem(HITEM item);
  void EnableItem(HITEM item, bool enabled);
  // Expands the item's section and scrolls the item into view.
  void EnsureVisible(HITEM item);
  bool IsItemEnabled(HITEM item) const;
  HITEM GetFocusedItem() const { return _focusedItem; }
  HSECTION GetFocusedSection() const { return _focusedSection; }
  void ExpandSection(HSECTION section, bool expand);
  bool IsSectionExpanded(HSECTION section) const;
  void ExpandAll(bool expand);
  QString GetItemName(HITEM item) const;
  // The text the value cell shows.
  QString GetItemText(HITEM item) const;
  // The running in-place editor (edit box, drop-down list or calendar), or null.
  QWidget* GetEditor() const { return _editor.data(); }
  // Ends a running editor; an edit box hands over its text first.
  void EndEditing();

  // ---- texts, colours and switches ---------------------------------------------
  void SetTrueFalseStrings(const QString& trueText, const QString& falseText);
  void SetOkCancelStrings(const QString& okText, const QString& cancelText);
  void SetDateTimeStrings(const QString& dateText, const QString& timeText);
  void SetUndefinedString(const QString& text);
  void SetEmptyString(const QString& text);
  const QString& TrueText() const { return _trueText; }
  const QString& FalseText() const { return _falseText; }
  const QString& OkText() const { return _okText; }
  const QString& CancelText() const { return _cancelText; }

  void SetBackColor(const QColor& color);
  void SetShadeColor(const QColor& color);
  void SetTextColor(const QColor& color);
  void SetTitleColor(const QColor& color);
  void SetFocusColor(const QColor& color);
  void SetHiliteTextColor(const QColor& color);
  void SetDisabledColor(const QColor& color);

  void SetShadeTitles(bool on);
  void SetDrawLines(bool on);
  void SetDrawGutter(bool on);
  void SetFocusDisabled(bool on);
  // Names of items changed through an editor are drawn bold.
  void SetBoldModified(bool on);
  // Names of enabled items are drawn bold.
  void SetBoldEditables(bool on);

  // ---- geometry, as laid out now -------------------------------------------------
  int RowHeight() const { return _rowHeight; }
  // The x of the divider between the name and the value column.
  int GutterX() const;
  void SetGutterWidth(int width);
  // Empty rectangles for what is not on show.
  QRect SectionRect(HSECTION section) const;
  QRect ExpandBoxRect(HSECTION section) const;
  QRect ItemNameRect(HITEM item) const;
  QRect ItemValueRect(HITEM item) const;
  // The button of the dialog kinds (multi-line, date and time, file, folder,
  // colour, font, modal custom items).
  QRect ItemButtonRect(HITEM item) const;
  int ScrollPosition() const;

 signals:
  void Notify(int message, int item);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class IntegerWidth { Signed32, Unsigned32, Signed64 };

  struct Item {
    HITEM id = kNone;
    EItemType type = IT_STRING;
    QString name;
    bool enabled = true;
    bool undefined = false;
    bool modified = false;
    QString text;         // string, multi-line, file, folder
    int64_t integer = 0;  // integer; list: the selected index
    IntegerWidth width = IntegerWidth::Signed64;
    double real = 0;
    bool flag = false;
    QDate date;
    QDateTime dateTime;
    QColor color;
    QFont font;
    QStringList options;
    // The first entry, when not empty, is the display format of numbers.
    QStringList formats;
    QString fileFilter;
    std::shared_ptr<ICustomItem> custom;
  };

  struct Section {
    HSECTION id = kNone;
    QString title;
    bool expanded = true;
    std::vector<std::unique_ptr<Item>> items;
  };

  // One line on show: a section title (item null) or an item.
  struct Row {
    Section* section;
    Item* item;
  };

  enum class HitPart { Nothing, Gutter, ExpandBox, SectionTitle, ItemName, ItemValue, ItemButton };
  struct Hit {
    HitPart part = HitPart::Nothing;
    Section* section = nullptr;
    Item* item = nullptr;
  };

  HITEM AddItem(HSECTION section, std::unique_ptr<Item> item);
  Item* FindItem(HITEM item);
  const Item* FindItem(HITEM item) const;
  Section* FindSection(HSECTION section);
  const Section* FindSection(HSECTION section) const;
  Section* SectionOf(const Item* item);
  // After an editor changed the item: clears the undefined flag, notifies
  // the owner, ends the editor and repaints.
  void Store(Item* item);

  // Layout.
  std::vector<Row> VisibleRows() const;
  int RowIndexOfItem(const Item* item) const;
  int RowIndexOfSection(const Section* section) const;
  QRect ContentRect() const;
  QRect RowRect(int rowIndex) const;
  QRect NameCell(const QRect& row) const;
  QRect ValueCell(const QRect& row) const;
  QRect ButtonCell(const QRect& row) const;
  QRect ExpandBox(const QRect& row) const;
  int ContentHeight() const;
  void UpdateScrollBar();
  void ScrollToRow(int rowIndex);
  Hit HitTest(const QPoint& point) const;

  // Drawing.
  void DrawSectionRow(QPainter& painter, const QRect& row, const Section& section) const;
  void DrawItemRow(QPainter& painter, const QRect& row, const Item& item) const;
  void DrawButton(QPainter& painter, const QRect& cell, bool hot, bool pressed) const;
  QString DisplayText(const Item& item) const;

  // Focus and keyboard.
  bool CanFocus(const Item* item) const;
  void FocusRow(int rowIndex);
  void FocusItem(Item* item, bool notify);
  void FocusSection(Section* section);
  void MoveFocus(int step);
  void ToggleSection(Section* section);
  void SetSectionExpanded(Section* section, bool expanded);

  // Editing.
  static bool HasButton(const Item& item);
  static bool EditsInCell(const Item& item);
  void StartEditing(Item* item);
  void StartEditBox(Item* item, const QString& text);
  void StartDropDown(Item* item, const QStringList& labels, int selected);
  void StartCalendar(Item* item);
  void RunButtonAction(Item* item);
  void DestroyEditor();
  void OnEditText(const QString& text);
  void OnComboIndex(int index);
  void OnCalendarDate(const QDate& date);
  void OnEditorCancelled();
  Item* EditorItem();

  QFont _font;
  QFont _boldFont;
  int _rowHeight;
  // Width of the name column; fixed at half the client width when the grid is
  // first laid out, then moved by dragging the divider.
  int _gutterWidth = -1;
  QScrollBar* _scrollBar;

  std::vector<std::unique_ptr<Section>> _sections;
  int _nextHandle = 1;
  HSECTION _focusedSection = kNone;
  HITEM _focusedItem = kNone;

  QString _trueText = "True";
  QString _falseText = "False";
  QString _dateText = "Date";
  QString _timeText = "Time";
  QString _undefinedText;
  QString _emptyText;
  QString _okText = "OK";
  QString _cancelText = "Cancel";

  QColor _backColor;
  QColor _shadeColor;
  QColor _textColor;
  QColor _titleColor;
  QColor _focusColor;
  QColor _hiliteTextColor;
  QColor _disabledColor;

  bool _shadeTitles = true;
  bool _drawLines = true;
  bool _drawGutter = true;
  bool _focusDisabled = true;
  bool _boldModified = false;
  bool _boldEditables = false;

  // Mouse: a press on a value cell arms editing, which starts on the release
  // over the same cell; a press on a button arms its action likewise.
  bool _draggingGutter = false;
  HITEM _armedItem = kNone;
  bool _armedButton = false;
  HITEM _hotButtonItem = kNone;

  QPointer<QWidget> _editor;
  HITEM _editorItem = kNone;
};

}  // namespace vq
