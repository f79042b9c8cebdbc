#include "ui/CPropertyGrid.h"

#include <QApplication>
#include <QColorDialog>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimeEdit>
#include <QWheelEvent>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include <boost/format.hpp>

#include "params/ValueText.h"
#include "ui/CDynDialogEx.h"
#include "ui/CPropertyGridCombo.h"
#include "ui/CPropertyGridDirectoryPicker.h"
#include "ui/CPropertyGridInPlaceEdit.h"
#include "ui/CPropertyGridMonthCalCtrl.h"

namespace vq {

namespace {

constexpr int kFrame = 1;
constexpr int kGutterGrip = 2;
constexpr int kMinimumColumn = 16;
constexpr int kWheelRows = 3;
constexpr int kTextPadding = 3;

// A format of the item's own, through boost::format so that a format that
// does not fit the value falls back to the default instead of misbehaving.
// The Windows length modifier I64 is accepted.
template <class T>
bool FormatWith(const QString& format, T value, QString& text) {
  if (format.isEmpty()) return false;
  std::string pattern = format.toStdString();
  for (size_t at = pattern.find("I64"); at != std::string::npos; at = pattern.find("I64", at)) pattern.erase(at, 3);
  try {
    text = QString::fromStdString((boost::format(pattern) % value).str());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

QString FirstFormat(const QStringList& formats) { return formats.isEmpty() ? QString() : formats.front(); }

// A decimal number with an optional sign, blanks around it allowed; nothing
// for any other text, for "nan" and "inf", and for a number beyond the range
// of a double.
std::optional<double> ParseDouble(const QString& text) {
  const std::string chars = text.trimmed().toStdString();
  const char* begin = chars.data();
  const char* end = begin + chars.size();
  const bool plus = begin != end && *begin == '+';
  if (plus) ++begin;
  // from_chars reads "nan" and "inf" too; a number starts with a digit or a point.
  const char* first = begin != end && *begin == '-' && !plus ? begin + 1 : begin;
  if (first == end || !(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.')) return std::nullopt;
  double value = 0;
  const auto result = std::from_chars(begin, end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

int64_t ClampToWidth(int64_t value, int64_t low, int64_t high) { return std::clamp(value, low, high); }

bool IsLineBreak(QChar c) { return c == '\n' || c == '\r'; }

}  // namespace

CPropertyGrid::CPropertyGrid(QWidget* parent) : QWidget(parent) {
  if (parent) {
    _font = parent->font();
  } else {
    _font = QFont("Tahoma");
    _font.setPointSizeF(8.5);
  }
  setFont(_font);
  _boldFont = _font;
  _boldFont.setWeight(QFont::Bold);
  _rowHeight = QFontMetrics(_font).size(Qt::TextSingleLine, "Gg").height() + 4;

  const QPalette colors = palette();
  _backColor = colors.color(QPalette::Base);
  _shadeColor = colors.color(QPalette::Button);
  _textColor = colors.color(QPalette::Text);
  _titleColor = colors.color(QPalette::Text);
  _focusColor = colors.color(QPalette::Highlight);
  _hiliteTextColor = colors.color(QPalette::HighlightedText);
  _disabledColor = colors.color(QPalette::Disabled, QPalette::Text);

  if (parent) {
    for (auto* buttons : parent->findChildren<QDialogButtonBox*>(Qt::FindDirectChildrenOnly)) {
      if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) _okText = ok->text();
      if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel)) _cancelText = cancel->text();
    }
  }

  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  // Everything is painted in paintEvent; the background is never erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);

  _scrollBar = new QScrollBar(Qt::Vertical, this);
  _scrollBar->hide();
  connect(_scrollBar, &QScrollBar::valueChanged, this, [this] {
    // An editor sits over a cell; it would stay behind while the rows move.
    if (_editor) EndEditing();
    update();
  });
}

CPropertyGrid::~CPropertyGrid() {
  if (_editor) {
    _editor->disconnect(this);
    delete _editor.data();
  }
}

// ---- contents ---------------------------------------------------------------

HSECTION CPropertyGrid::AddSection(const QString& title) {
  auto section = std::make_unique<Section>();
  section->id = _nextHandle++;
  section->title = title;
  _sections.push_back(std::move(section));
  UpdateScrollBar();
  update();
  return _sections.back()->id;
}

HITEM CPropertyGrid::AddItem(HSECTION sectionHandle, std::unique_ptr<Item> item) {
  Section* section = FindSection(sectionHandle);
  if (!section) return kNone;
  item->id = _nextHandle++;
  section->items.push_back(std::move(item));
  UpdateScrollBar();
  update();
  return section->items.back()->id;
}

HITEM CPropertyGrid::AddCustomItem(HSECTION section, const QString& name, std::shared_ptr<ICustomItem> handler,
                                   bool enabled) {
  if (!handler) return kNone;
  auto item = std::make_unique<Item>();
  item->type = IT_CUSTOM;
  item->name = name;
  item->enabled = enabled;
  item->custom = std::move(handler);
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddStringItem(HSECTION section, const QString& name, const QString& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_STRING;
  item->name = name;
  item->enabled = enabled;
  item->text = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddTextItem(HSECTION section, const QString& name, const QString& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_TEXT;
  item->name = name;
  item->enabled = enabled;
  item->text = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddIntegerItem(HSECTION section, const QString& name, int value, const QString& format,
                                    bool enabled) {
  HITEM handle = AddIntegerItem(section, name, static_cast<int64_t>(value), format, enabled);
  if (Item* item = FindItem(handle)) item->width = IntegerWidth::Signed32;
  return handle;
}

HITEM CPropertyGrid::AddIntegerItem(HSECTION section, const QString& name, unsigned value, const QString& format,
                                    bool enabled) {
  HITEM handle = AddIntegerItem(section, name, static_cast<int64_t>(value), format, enabled);
  if (Item* item = FindItem(handle)) item->width = IntegerWidth::Unsigned32;
  return handle;
}

HITEM CPropertyGrid::AddIntegerItem(HSECTION section, const QString& name, int64_t value, const QString& format,
                                    bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_INTEGER;
  item->name = name;
  item->enabled = enabled;
  item->integer = value;
  item->formats = QStringList{format};
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddDoubleItem(HSECTION section, const QString& name, double value, const QString& format,
                                   bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_DOUBLE;
  item->name = name;
  item->enabled = enabled;
  item->real = value;
  item->formats = QStringList{format};
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddComboItem(HSECTION section, const QString& name, const QStringList& options, int64_t selected,
                                  bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_COMBO;
  item->name = name;
  item->enabled = enabled;
  item->options = options;
  item->integer = selected;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddBoolItem(HSECTION section, const QString& name, bool value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_BOOLEAN;
  item->name = name;
  item->enabled = enabled;
  item->flag = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddDateItem(HSECTION section, const QString& name, const QDate& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_DATE;
  item->name = name;
  item->enabled = enabled;
  item->date = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddDateTimeItem(HSECTION section, const QString& name, const QDateTime& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_DATETIME;
  item->name = name;
  item->enabled = enabled;
  item->dateTime = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddFileItem(HSECTION section, const QString& name, const QString& value, const QString& filter,
                                 bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_FILE;
  item->name = name;
  item->enabled = enabled;
  item->text = value;
  item->fileFilter = filter;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddFolderItem(HSECTION section, const QString& name, const QString& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_FOLDER;
  item->name = name;
  item->enabled = enabled;
  item->text = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddColorItem(HSECTION section, const QString& name, const QColor& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_COLOR;
  item->name = name;
  item->enabled = enabled;
  item->color = value;
  return AddItem(section, std::move(item));
}

HITEM CPropertyGrid::AddFontItem(HSECTION section, const QString& name, const QFont& value, bool enabled) {
  auto item = std::make_unique<Item>();
  item->type = IT_FONT;
  item->name = name;
  item->enabled = enabled;
  item->font = value;
  return AddItem(section, std::move(item));
}

CPropertyGrid::Item* CPropertyGrid::FindItem(HITEM handle) {
  return const_cast<Item*>(std::as_const(*this).FindItem(handle));
}

const CPropertyGrid::Item* CPropertyGrid::FindItem(HITEM handle) const {
  for (const auto& section : _sections)
    for (const auto& item : section->items)
      if (item->id == handle) return item.get();
  return nullptr;
}

CPropertyGrid::Section* CPropertyGrid::FindSection(HSECTION handle) {
  return const_cast<Section*>(std::as_const(*this).FindSection(handle));
}

const CPropertyGrid::Section* CPropertyGrid::FindSection(HSECTION handle) const {
  for (const auto& section : _sections)
    if (section->id == handle) return section.get();
  return nullptr;
}

CPropertyGrid::Section* CPropertyGrid::SectionOf(const Item* item) {
  for (const auto& section : _sections)
    for (const auto& candidate : section->items)
      if (candidate.get() == item) return section.get();
  return nullptr;
}

// ---- values -----------------------------------------------------------------

namespace {

template <class ItemT>
bool IsOneOf(const ItemT* item, std::initializer_list<CPropertyGrid::EItemType> types) {
  return item && std::find(types.begin(), types.end(), item->type) != types.end();
}

}  // namespace

bool CPropertyGrid::SetItemValue(HITEM handle, const QString& value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_STRING, IT_TEXT, IT_FILE, IT_FOLDER})) return false;
  item->text = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, const char* value) {
  return SetItemValue(handle, QString::fromUtf8(value ? value : ""));
}

bool CPropertyGrid::SetItemValue(HITEM handle, int value) { return SetItemValue(handle, static_cast<int64_t>(value)); }

bool CPropertyGrid::SetItemValue(HITEM handle, unsigned value) {
  return SetItemValue(handle, static_cast<int64_t>(value));
}

bool CPropertyGrid::SetItemValue(HITEM handle, int64_t value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_INTEGER, IT_COMBO})) return false;
  item->integer = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, double value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_DOUBLE})) return false;
  item->real = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, bool value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_BOOLEAN})) return false;
  item->flag = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, const QDate& value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_DATE})) return false;
  item->date = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, const QDateTime& value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_DATETIME})) return false;
  item->dateTime = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, const QColor& value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_COLOR})) return false;
  item->color = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::SetItemValue(HITEM handle, const QFont& value) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_FONT})) return false;
  item->font = value;
  item->undefined = false;
  update();
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, QString& value) const {
  const Item* item = FindItem(handle);
  if (IsOneOf(item, {IT_STRING, IT_TEXT, IT_FILE, IT_FOLDER})) {
    value = item->text;
    return true;
  }
  if (IsOneOf(item, {IT_COMBO}) && item->integer >= 0 && item->integer < item->options.size()) {
    value = item->options[static_cast<qsizetype>(item->integer)];
    return true;
  }
  return false;
}

bool CPropertyGrid::GetItemValue(HITEM handle, int& value) const {
  int64_t wide;
  if (!GetItemValue(handle, wide)) return false;
  if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) return false;
  value = static_cast<int>(wide);
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, unsigned& value) const {
  int64_t wide;
  if (!GetItemValue(handle, wide)) return false;
  if (wide < 0 || wide > std::numeric_limits<unsigned>::max()) return false;
  value = static_cast<unsigned>(wide);
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, int64_t& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_INTEGER, IT_COMBO})) return false;
  value = item->integer;
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, double& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_DOUBLE})) return false;
  value = item->real;
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, bool& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_BOOLEAN})) return false;
  value = item->flag;
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, QDate& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_DATE})) return false;
  value = item->date;
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, QDateTime& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_DATETIME})) return false;
  value = item->dateTime;
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, QColor& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_COLOR})) return false;
  value = item->color;
  return true;
}

bool CPropertyGrid::GetItemValue(HITEM handle, QFont& value) const {
  const Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_FONT})) return false;
  value = item->font;
  return true;
}

bool CPropertyGrid::SetItemOptions(HITEM handle, const QStringList& options) {
  Item* item = FindItem(handle);
  if (!IsOneOf(item, {IT_COMBO})) return false;
  item->options = options;
  update();
  return true;
}

QStringList CPropertyGrid::GetItemOptions(HITEM handle) const {
  const Item* item = FindItem(handle);
  return IsOneOf(item, {IT_COMBO}) ? item->options : QStringList();
}

void CPropertyGrid::SetItemUndefined(HITEM handle) {
  if (Item* item = FindItem(handle)) {
    item->undefined = true;
    update();
  }
}

bool CPropertyGrid::IsItemUndefined(HITEM handle) const {
  const Item* item = FindItem(handle);
  return item && item->undefined;
}

// ---- focus and state ------------------------------------------------------------

void CPropertyGrid::SelectItem(HITEM handle) {
  Item* item = FindItem(handle);
  if (!item) return;
  if (_editor && _editorItem != handle) EndEditing();
  _focusedItem = handle;
  _focusedSection = kNone;
  emit Notify(WM_PG_SELCHANGED, handle);
  update();
  EnsureVisible(handle);
}

void CPropertyGrid::EnsureVisible(HITEM handle) {
  Item* item = FindItem(handle);
  if (!item) return;
  Section* section = SectionOf(item);
  if (!section->expanded) SetSectionExpanded(section, true);
  ScrollToRow(RowIndexOfItem(item));
}

void CPropertyGrid::EnableItem(HITEM handle, bool enabled) {
  Item* item = FindItem(handle);
  if (!item) return;
  item->enabled = enabled;
  // A disabled item is not edited; whatever its editor holds is dropped.
  if (!enabled && _editor && _editorItem == handle) DestroyEditor();
  update();
}

bool CPropertyGrid::IsItemEnabled(HITEM handle) const {
  const Item* item = FindItem(handle);
  return item && item->enabled;
}

void CPropertyGrid::ExpandSection(HSECTION handle, bool expand) {
  if (Section* section = FindSection(handle)) SetSectionExpanded(section, expand);
}

bool CPropertyGrid::IsSectionExpanded(HSECTION handle) const {
  const Section* section = FindSection(handle);
  return section && section->expanded;
}

void CPropertyGrid::ExpandAll(bool expand) {
  for (const auto& section : _sections) SetSectionExpanded(section.get(), expand);
}

QString CPropertyGrid::GetItemName(HITEM handle) const {
  const Item* item = FindItem(handle);
  return item ? item->name : QString();
}

QString CPropertyGrid::GetItemText(HITEM handle) const {
  const Item* item = FindItem(handle);
  return item ? DisplayText(*item) : QString();
}

void CPropertyGrid::SetSectionExpanded(Section* section, bool expanded) {
  if (section->expanded == expanded) return;
  if (!expanded) {
    if (_editor) {
      const Item* edited = FindItem(_editorItem);
      if (edited && SectionOf(edited) == section) EndEditing();
    }
    const Item* focused = FindItem(_focusedItem);
    section->expanded = false;
    // The focus does not stay on a row that is gone.
    if (focused && SectionOf(focused) == section) FocusSection(section);
  } else {
    section->expanded = true;
  }
  UpdateScrollBar();
  update();
}

void CPropertyGrid::ToggleSection(Section* section) { SetSectionExpanded(section, !section->expanded); }

bool CPropertyGrid::CanFocus(const Item* item) const { return item && (item->enabled || _focusDisabled); }

void CPropertyGrid::FocusItem(Item* item, bool notify) {
  const HITEM previous = _focusedItem;
  _focusedItem = item->id;
  _focusedSection = kNone;
  update();
  if (notify || previous != item->id) emit Notify(WM_PG_SELCHANGED, item->id);
}

void CPropertyGrid::FocusSection(Section* section) {
  const HITEM previous = _focusedItem;
  _focusedSection = section->id;
  _focusedItem = kNone;
  update();
  if (previous != kNone) emit Notify(WM_PG_SELCHANGED, kNone);
}

void CPropertyGrid::FocusRow(int rowIndex) {
  const std::vector<Row> rows = VisibleRows();
  if (rowIndex < 0 || rowIndex >= static_cast<int>(rows.size())) return;
  if (rows[rowIndex].item)
    FocusItem(rows[rowIndex].item, true);
  else
    FocusSection(rows[rowIndex].section);
  ScrollToRow(rowIndex);
}

void CPropertyGrid::MoveFocus(int step) {
  const std::vector<Row> rows = VisibleRows();
  if (rows.empty()) return;
  int current = kNone;
  if (const Item* item = FindItem(_focusedItem))
    current = RowIndexOfItem(item);
  else if (const Section* section = FindSection(_focusedSection))
    current = RowIndexOfSection(section);
  int target = current < 0 ? (step > 0 ? 0 : static_cast<int>(rows.size()) - 1) : current + step;
  while (target >= 0 && target < static_cast<int>(rows.size()) && rows[target].item && !CanFocus(rows[target].item))
    target += step;
  if (target >= 0 && target < static_cast<int>(rows.size())) FocusRow(target);
}

// ---- texts, colours, switches ---------------------------------------------------

void CPropertyGrid::SetTrueFalseStrings(const QString& trueText, const QString& falseText) {
  _trueText = trueText;
  _falseText = falseText;
  update();
}

void CPropertyGrid::SetOkCancelStrings(const QString& okText, const QString& cancelText) {
  _okText = okText;
  _cancelText = cancelText;
}

void CPropertyGrid::SetDateTimeStrings(const QString& dateText, const QString& timeText) {
  _dateText = dateText;
  _timeText = timeText;
}

void CPropertyGrid::SetUndefinedString(const QString& text) {
  _undefinedText = text;
  update();
}

void CPropertyGrid::SetEmptyString(const QString& text) {
  _emptyText = text;
  update();
}

void CPropertyGrid::SetBackColor(const QColor& color) {
  _backColor = color;
  update();
}
void CPropertyGrid::SetShadeColor(const QColor& color) {
  _shadeColor = color;
  update();
}
void CPropertyGrid::SetTextColor(const QColor& color) {
  _textColor = color;
  update();
}
void CPropertyGrid::SetTitleColor(const QColor& color) {
  _titleColor = color;
  update();
}
void CPropertyGrid::SetFocusColor(const QColor& color) {
  _focusColor = color;
  update();
}
void CPropertyGrid::SetHiliteTextColor(const QColor& color) {
  _hiliteTextColor = color;
  update();
}
void CPropertyGrid::SetDisabledColor(const QColor& color) {
  _disabledColor = color;
  update();
}

void CPropertyGrid::SetShadeTitles(bool on) {
  _shadeTitles = on;
  update();
}
void CPropertyGrid::SetDrawLines(bool on) {
  _drawLines = on;
  update();
}
void CPropertyGrid::SetDrawGutter(bool on) {
  _drawGutter = on;
  update();
}
void CPropertyGrid::SetFocusDisabled(bool on) { _focusDisabled = on; }
void CPropertyGrid::SetBoldModified(bool on) {
  _boldModified = on;
  update();
}
void CPropertyGrid::SetBoldEditables(bool on) {
  _boldEditables = on;
  update();
}

// ---- layout -------------------------------------------------------------------

std::vector<CPropertyGrid::Row> CPropertyGrid::VisibleRows() const {
  std::vector<Row> rows;
  for (const auto& section : _sections) {
    rows.push_back({section.get(), nullptr});
    if (section->expanded)
      for (const auto& item : section->items) rows.push_back({section.get(), item.get()});
  }
  return rows;
}

int CPropertyGrid::RowIndexOfItem(const Item* item) const {
  const std::vector<Row> rows = VisibleRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].item == item) return static_cast<int>(i);
  return kNone;
}

int CPropertyGrid::RowIndexOfSection(const Section* section) const {
  const std::vector<Row> rows = VisibleRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (!rows[i].item && rows[i].section == section) return static_cast<int>(i);
  return kNone;
}

QRect CPropertyGrid::ContentRect() const {
  QRect content = rect().adjusted(kFrame, kFrame, -kFrame, -kFrame);
  if (_scrollBar->isVisibleTo(this)) content.setRight(_scrollBar->geometry().left() - 1);
  return content;
}

int CPropertyGrid::GutterX() const {
  const QRect content = ContentRect();
  const int column = _gutterWidth >= 0 ? _gutterWidth : (width() - 2 * kFrame) / 2;
  return content.left() + std::min(column, std::max(0, content.width() - kMinimumColumn));
}

void CPropertyGrid::SetGutterWidth(int width) {
  _gutterWidth = std::max(kMinimumColumn, width);
  update();
}

QRect CPropertyGrid::RowRect(int rowIndex) const {
  const QRect content = ContentRect();
  return QRect(content.left(), content.top() + rowIndex * _rowHeight - ScrollPosition(), content.width(), _rowHeight);
}

QRect CPropertyGrid::NameCell(const QRect& row) const {
  return QRect(row.left(), row.top(), GutterX() - row.left(), row.height());
}

QRect CPropertyGrid::ValueCell(const QRect& row) const {
  const int left = GutterX() + 1;
  return QRect(left, row.top(), std::max(0, row.right() - left + 1), row.height());
}

QRect CPropertyGrid::ButtonCell(const QRect& row) const {
  const QRect value = ValueCell(row);
  const int width = std::min(_rowHeight, value.width());
  return QRect(value.right() - width + 1, value.top(), width, value.height());
}

QRect CPropertyGrid::ExpandBox(const QRect& row) const {
  int size = std::max(7, _rowHeight - 8);
  if (size % 2 == 0) --size;
  return QRect(row.left() + (_rowHeight - size) / 2, row.top() + (_rowHeight - size) / 2, size, size);
}

int CPropertyGrid::ContentHeight() const { return static_cast<int>(VisibleRows().size()) * _rowHeight; }

int CPropertyGrid::ScrollPosition() const { return _scrollBar->isVisibleTo(this) ? _scrollBar->value() : 0; }

void CPropertyGrid::UpdateScrollBar() {
  const int view = height() - 2 * kFrame;
  const int content = ContentHeight();
  if (content > view && view > 0) {
    const int width = _scrollBar->sizeHint().width();
    _scrollBar->setGeometry(this->width() - kFrame - width, kFrame, width, view);
    _scrollBar->setRange(0, content - view);
    _scrollBar->setPageStep(view);
    _scrollBar->setSingleStep(_rowHeight);
    _scrollBar->show();
  } else {
    _scrollBar->setValue(0);
    _scrollBar->hide();
  }
}

void CPropertyGrid::ScrollToRow(int rowIndex) {
  if (rowIndex < 0 || !_scrollBar->isVisibleTo(this)) return;
  const int top = rowIndex * _rowHeight;
  const int view = ContentRect().height();
  if (top < _scrollBar->value())
    _scrollBar->setValue(top);
  else if (top + _rowHeight > _scrollBar->value() + view)
    _scrollBar->setValue(top + _rowHeight - view);
}

QRect CPropertyGrid::SectionRect(HSECTION handle) const {
  const Section* section = FindSection(handle);
  const int index = section ? RowIndexOfSection(section) : kNone;
  return index < 0 ? QRect() : RowRect(index);
}

QRect CPropertyGrid::ExpandBoxRect(HSECTION handle) const {
  const QRect row = SectionRect(handle);
  return row.isNull() ? QRect() : ExpandBox(row);
}

QRect CPropertyGrid::ItemNameRect(HITEM handle) const {
  const Item* item = FindItem(handle);
  const int index = item ? RowIndexOfItem(item) : kNone;
  return index < 0 ? QRect() : NameCell(RowRect(index));
}

QRect CPropertyGrid::ItemValueRect(HITEM handle) const {
  const Item* item = FindItem(handle);
  const int index = item ? RowIndexOfItem(item) : kNone;
  return index < 0 ? QRect() : ValueCell(RowRect(index));
}

QRect CPropertyGrid::ItemButtonRect(HITEM handle) const {
  const Item* item = FindItem(handle);
  const int index = item && HasButton(*item) ? RowIndexOfItem(item) : kNone;
  return index < 0 ? QRect() : ButtonCell(RowRect(index));
}

CPropertyGrid::Hit CPropertyGrid::HitTest(const QPoint& point) const {
  Hit hit;
  const QRect content = ContentRect();
  if (!content.contains(point)) return hit;
  const int index = (point.y() - content.top() + ScrollPosition()) / _rowHeight;
  const std::vector<Row> rows = VisibleRows();
  if (index < 0 || index >= static_cast<int>(rows.size())) return hit;
  const Row& row = rows[index];
  const QRect rowRect = RowRect(index);
  hit.section = row.section;
  hit.item = row.item;
  if (!row.item) {
    hit.part = ExpandBox(rowRect).adjusted(-1, -1, 1, 1).contains(point) ? HitPart::ExpandBox : HitPart::SectionTitle;
  } else if (std::abs(point.x() - GutterX()) <= kGutterGrip) {
    hit.part = HitPart::Gutter;
  } else if (point.x() < GutterX()) {
    hit.part = HitPart::ItemName;
  } else if (HasButton(*row.item) && row.item->enabled && ButtonCell(rowRect).contains(point)) {
    hit.part = HitPart::ItemButton;
  } else {
    hit.part = HitPart::ItemValue;
  }
  return hit;
}

// ---- drawing ------------------------------------------------------------------

void CPropertyGrid::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), _backColor);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));

  const QRect content = ContentRect();
  painter.setClipRect(content);
  const std::vector<Row> rows = VisibleRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    const QRect row = RowRect(static_cast<int>(i));
    if (row.bottom() < content.top()) continue;
    if (row.top() > content.bottom()) break;
    if (rows[i].item)
      DrawItemRow(painter, row, *rows[i].item);
    else
      DrawSectionRow(painter, row, *rows[i].section);
  }
}

void CPropertyGrid::DrawSectionRow(QPainter& painter, const QRect& row, const Section& section) const {
  painter.fillRect(row, _shadeTitles ? _shadeColor : _backColor);

  const QRect box = ExpandBox(row);
  painter.fillRect(box, _backColor);
  painter.setPen(_textColor);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  const QPoint center = box.center();
  const int arm = (box.width() - 5) / 2;
  painter.drawLine(center.x() - arm, center.y(), center.x() + arm, center.y());
  if (!section.expanded) painter.drawLine(center.x(), center.y() - arm, center.x(), center.y() + arm);

  painter.setFont(_boldFont);
  const int textLeft = row.left() + _rowHeight;
  const QFontMetrics metrics(_boldFont);
  QRect text(textLeft, row.top(), metrics.horizontalAdvance(section.title) + 2 * kTextPadding, row.height());
  const bool focused = section.id == _focusedSection;
  if (focused) painter.fillRect(text, _focusColor);
  painter.setPen(focused ? _hiliteTextColor : _titleColor);
  painter.drawText(text.adjusted(kTextPadding, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, section.title);

  if (_drawLines) {
    painter.setPen(_shadeColor.darker(115));
    painter.drawLine(row.left(), row.bottom(), row.right(), row.bottom());
  }
}

void CPropertyGrid::DrawItemRow(QPainter& painter, const QRect& row, const Item& item) const {
  const QRect name = NameCell(row);
  const QRect value = ValueCell(row);
  const QRect margin(row.left(), row.top(), _rowHeight, row.height());
  const QRect nameText = name.adjusted(_rowHeight, 0, 0, 0);
  const bool focused = item.id == _focusedItem;

  painter.fillRect(row, _backColor);
  if (_shadeTitles) painter.fillRect(margin, _shadeColor);
  if (focused) painter.fillRect(nameText, _focusColor);

  const bool bold = (_boldModified && item.modified) || (_boldEditables && item.enabled);
  painter.setFont(bold ? _boldFont : _font);
  painter.setPen(focused ? _hiliteTextColor : item.enabled ? _textColor : _disabledColor);
  const QRect nameArea = nameText.adjusted(kTextPadding, 0, -kTextPadding, 0);
  painter.drawText(nameArea, Qt::AlignVCenter | Qt::AlignLeft,
                   painter.fontMetrics().elidedText(item.name, Qt::ElideRight, nameArea.width()));

  painter.setFont(_font);
  QRect valueArea = value.adjusted(kTextPadding, 0, -kTextPadding, 0);
  const bool button = HasButton(item) && item.enabled;
  if (button) valueArea.setRight(ButtonCell(row).left() - kTextPadding);
  bool drawn = false;
  if (item.type == IT_CUSTOM && !item.undefined) {
    painter.save();
    drawn = item.custom->DrawItem(painter, value, focused);
    painter.restore();
  }
  if (!drawn) {
    painter.setPen(item.enabled ? _textColor : _disabledColor);
    painter.drawText(valueArea, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(DisplayText(item), Qt::ElideRight, valueArea.width()));
  }
  if (button) {
    const bool hot = _hotButtonItem == item.id;
    DrawButton(painter, ButtonCell(row), hot, hot && _armedButton && _armedItem == item.id);
  }

  const QColor lines = _shadeColor.darker(115);
  painter.setPen(lines);
  if (_drawLines) painter.drawLine(margin.right() + 1, row.bottom(), row.right(), row.bottom());
  if (_drawGutter) painter.drawLine(GutterX(), row.top(), GutterX(), row.bottom());
}

void CPropertyGrid::DrawButton(QPainter& painter, const QRect& cell, bool hot, bool pressed) const {
  const QRect face = cell.adjusted(1, 1, -1, -1);
  painter.fillRect(face, hot ? _shadeColor.lighter(110) : _shadeColor);
  painter.setPen(pressed ? _shadeColor.darker(160) : _shadeColor.darker(130));
  painter.drawRect(face.adjusted(0, 0, -1, -1));
  painter.setPen(_textColor);
  painter.setFont(_boldFont);
  painter.drawText(face.translated(pressed ? 1 : 0, pressed ? 1 : 0), Qt::AlignCenter, "...");
}

QString CPropertyGrid::DisplayText(const Item& item) const {
  if (item.undefined) return _undefinedText;
  QString text;
  switch (item.type) {
    case IT_CUSTOM: return item.custom->DisplayText();
    case IT_STRING:
    case IT_FILE:
    case IT_FOLDER: return item.text.isEmpty() ? _emptyText : item.text;
    case IT_TEXT: {
      QString shown = item.text;
      shown.replace("\r\n", " ");
      for (QChar& c : shown)
        if (IsLineBreak(c)) c = ' ';
      return shown.isEmpty() ? _emptyText : shown;
    }
    case IT_INTEGER:
      return FormatWith(FirstFormat(item.formats), item.integer, text) ? text : QString::number(item.integer);
    case IT_DOUBLE:
      return FormatWith(FirstFormat(item.formats), item.real, text) ? text : QString::asprintf("%g", item.real);
    case IT_COMBO:
      return item.integer >= 0 && item.integer < item.options.size()
                 ? item.options[static_cast<qsizetype>(item.integer)]
                 : QString();
    case IT_BOOLEAN: return item.flag ? _trueText : _falseText;
    case IT_DATE: return QLocale().toString(item.date, QLocale::ShortFormat);
    case IT_DATETIME: return QLocale().toString(item.dateTime, QLocale::ShortFormat);
    case IT_COLOR: return QString::asprintf("%d; %d; %d", item.color.red(), item.color.green(), item.color.blue());
    case IT_FONT: return QString("%1; %2pt").arg(item.font.family()).arg(qRound(item.font.pointSizeF()));
  }
  return text;
}

// ---- mouse and keyboard ---------------------------------------------------------------

void CPropertyGrid::resizeEvent(QResizeEvent*) {
  if (_gutterWidth < 0 && width() > 2 * kFrame) _gutterWidth = (width() - 2 * kFrame) / 2;
  UpdateScrollBar();
}

void CPropertyGrid::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  EndEditing();
  setFocus(Qt::MouseFocusReason);
  _armedItem = kNone;
  _armedButton = false;
  const Hit hit = HitTest(event->position().toPoint());
  switch (hit.part) {
    case HitPart::Nothing: break;
    case HitPart::Gutter:
      _draggingGutter = true;
      setCursor(Qt::SizeHorCursor);
      break;
    case HitPart::ExpandBox: ToggleSection(hit.section); break;
    case HitPart::SectionTitle: FocusSection(hit.section); break;
    case HitPart::ItemName:
      if (CanFocus(hit.item)) FocusItem(hit.item, false);
      break;
    case HitPart::ItemValue:
      if (!CanFocus(hit.item)) break;
      FocusItem(hit.item, false);
      if (hit.item->enabled && EditsInCell(*hit.item)) _armedItem = hit.item->id;
      break;
    case HitPart::ItemButton:
      FocusItem(hit.item, false);
      _armedItem = hit.item->id;
      _armedButton = true;
      update();
      break;
  }
  event->accept();
}

void CPropertyGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  if (_draggingGutter) {
    _draggingGutter = false;
    unsetCursor();
  }
  const HITEM armed = _armedItem;
  const bool button = _armedButton;
  _armedItem = kNone;
  _armedButton = false;
  Item* item = FindItem(armed);
  if (item) {
    const Hit hit = HitTest(event->position().toPoint());
    update();
    if (hit.item == item && item->enabled) {
      if (button && hit.part == HitPart::ItemButton) RunButtonAction(item);
      if (!button && hit.part == HitPart::ItemValue) StartEditing(item);
    }
  }
  event->accept();
}

void CPropertyGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Hit hit = HitTest(event->position().toPoint());
  if (hit.part == HitPart::SectionTitle || hit.part == HitPart::ExpandBox) {
    ToggleSection(hit.section);
    event->accept();
    return;
  }
  // On an item the second click counts as a click.
  mousePressEvent(event);
}

void CPropertyGrid::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (_draggingGutter) {
    const QRect content = ContentRect();
    _gutterWidth = std::clamp(point.x() - content.left(), kMinimumColumn,
                              std::max(kMinimumColumn, content.width() - kMinimumColumn));
    update();
    return;
  }
  const Hit hit = HitTest(point);
  if (hit.part == HitPart::Gutter)
    setCursor(Qt::SizeHorCursor);
  else
    unsetCursor();
  const HITEM hot = hit.part == HitPart::ItemButton ? hit.item->id : kNone;
  if (hot != _hotButtonItem) {
    _hotButtonItem = hot;
    update();
  }
}

void CPropertyGrid::leaveEvent(QEvent*) {
  if (_hotButtonItem != kNone) {
    _hotButtonItem = kNone;
    update();
  }
}

void CPropertyGrid::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  if (notches != 0 && _scrollBar->isVisibleTo(this))
    _scrollBar->setValue(_scrollBar->value() - notches * kWheelRows * _rowHeight);
  event->accept();
}

void CPropertyGrid::keyPressEvent(QKeyEvent* event) {
  Section* focusedSection = FindSection(_focusedSection);
  switch (event->key()) {
    case Qt::Key_Down: MoveFocus(1); return;
    case Qt::Key_Up: MoveFocus(-1); return;
    case Qt::Key_Left:
      if (focusedSection && focusedSection->expanded)
        SetSectionExpanded(focusedSection, false);
      else
        MoveFocus(-1);
      return;
    case Qt::Key_Right:
      if (focusedSection && !focusedSection->expanded)
        SetSectionExpanded(focusedSection, true);
      else
        MoveFocus(1);
      return;
    case Qt::Key_F2:
      if (Item* item = FindItem(_focusedItem); item && item->enabled) StartEditing(item);
      return;
    default: break;
  }
  const QString text = event->text();
  if (text == "+" || text == "-") {
    if (focusedSection) SetSectionExpanded(focusedSection, text == "+");
    return;
  }
  if (text == "*" || text == "/") {
    ExpandAll(text == "*");
    return;
  }
  // Enter, Escape and Tab belong to the dialog.
  QWidget::keyPressEvent(event);
}

// ---- editing ----------------------------------------------------------------------

bool CPropertyGrid::HasButton(const Item& item) {
  switch (item.type) {
    case IT_TEXT:
    case IT_DATETIME:
    case IT_FILE:
    case IT_FOLDER:
    case IT_COLOR:
    case IT_FONT: return true;
    case IT_CUSTOM: return item.custom->GetEditMode() == ICustomItem::EM_MODAL;
    default: return false;
  }
}

bool CPropertyGrid::EditsInCell(const Item& item) {
  switch (item.type) {
    case IT_STRING:
    case IT_INTEGER:
    case IT_DOUBLE:
    case IT_COMBO:
    case IT_BOOLEAN:
    case IT_DATE: return true;
    case IT_CUSTOM: return item.custom->GetEditMode() == ICustomItem::EM_INPLACE;
    default: return false;
  }
}

void CPropertyGrid::StartEditing(Item* item) {
  EndEditing();
  switch (item->type) {
    case IT_STRING: StartEditBox(item, item->text); break;
    case IT_INTEGER: StartEditBox(item, QString::number(item->integer)); break;
    case IT_DOUBLE: StartEditBox(item, QString::asprintf("%.7g", item->real)); break;
    case IT_COMBO:
      StartDropDown(item, item->options,
                    static_cast<int>(std::clamp<int64_t>(item->integer, -1, item->options.size())));
      break;
    case IT_BOOLEAN: StartDropDown(item, {_trueText, _falseText}, item->flag ? 0 : 1); break;
    case IT_DATE: StartCalendar(item); break;
    case IT_CUSTOM:
      if (item->custom->GetEditMode() == ICustomItem::EM_INPLACE)
        StartEditBox(item, item->custom->EditText());
      else if (item->custom->GetEditMode() == ICustomItem::EM_MODAL)
        RunButtonAction(item);
      break;
    default: RunButtonAction(item); break;
  }
}

void CPropertyGrid::StartEditBox(Item* item, const QString& text) {
  const QRect cell = ItemValueRect(item->id);
  if (cell.isNull()) return;
  // One pixel right and two down of the cell's corner, clear of the row line.
  const QRect box(cell.left() + 1, cell.top() + 2, std::max(1, cell.width() - 1), std::max(1, cell.height() - 3));
  _editorItem = item->id;
  auto* edit = new CPropertyGridInPlaceEdit(this, box, _font, text);
  _editor = edit;
  connect(edit, &CPropertyGridInPlaceEdit::TextDone, this, &CPropertyGrid::OnEditText);
  connect(edit, &CPropertyGridInPlaceEdit::Cancelled, this, &CPropertyGrid::OnEditorCancelled);
}

void CPropertyGrid::StartDropDown(Item* item, const QStringList& labels, int selected) {
  const QRect cell = ItemValueRect(item->id);
  if (cell.isNull()) return;
  _editorItem = item->id;
  auto* combo = new CPropertyGridCombo(this, cell, _font, labels, selected);
  _editor = combo;
  connect(combo, &CPropertyGridCombo::IndexChosen, this, &CPropertyGrid::OnComboIndex);
  connect(combo, &CPropertyGridCombo::Cancelled, this, &CPropertyGrid::OnEditorCancelled);
  combo->Drop();
}

void CPropertyGrid::StartCalendar(Item* item) {
  const QRect cell = ItemValueRect(item->id);
  if (cell.isNull()) return;
  _editorItem = item->id;
  auto* calendar = new CPropertyGridMonthCalCtrl(this, cell, item->date);
  _editor = calendar;
  connect(calendar, &CPropertyGridMonthCalCtrl::DateChosen, this, &CPropertyGrid::OnCalendarDate);
  connect(calendar, &CPropertyGridMonthCalCtrl::Cancelled, this, &CPropertyGrid::OnEditorCancelled);
}

void CPropertyGrid::RunButtonAction(Item* item) {
  // The dialogs run modally; the grid or the item may be gone when they return.
  QPointer<CPropertyGrid> self(this);
  const HITEM handle = item->id;
  auto stillThere = [&]() -> Item* { return self ? FindItem(handle) : nullptr; };
  switch (item->type) {
    case IT_TEXT: {
      QPointer<CDynDialogEx> dialog = new CDynDialogEx(this, item->name, _okText, _cancelText);
      auto* edit = new QPlainTextEdit(item->text);
      dialog->AddRow(edit);
      const bool accepted = dialog->exec() == QDialog::Accepted;
      if (!dialog) return;
      const QString text = edit->toPlainText();
      delete dialog.data();
      if (Item* target = stillThere(); target && accepted) {
        target->text = text;
        Store(target);
      }
      return;
    }
    case IT_DATETIME: {
      QPointer<CDynDialogEx> dialog = new CDynDialogEx(this, item->name, _okText, _cancelText);
      auto* date = new QDateEdit(item->dateTime.date());
      date->setObjectName("SysDateTimePick32");
      date->setCalendarPopup(true);
      auto* time = new QTimeEdit(item->dateTime.time());
      time->setObjectName("SysDateTimePick32");
      dialog->AddRow(_dateText, date);
      dialog->AddRow(_timeText, time);
      const bool accepted = dialog->exec() == QDialog::Accepted;
      if (!dialog) return;
      const QDateTime chosen(date->date(), time->time());
      delete dialog.data();
      if (Item* target = stillThere(); target && accepted) {
        target->dateTime = chosen;
        Store(target);
      }
      return;
    }
    case IT_FILE: {
      const QString file = QFileDialog::getOpenFileName(this, item->name, item->text, item->fileFilter);
      if (Item* target = stillThere(); target && !file.isEmpty()) {
        target->text = file;
        Store(target);
      }
      return;
    }
    case IT_FOLDER: {
      QString folder = item->text;
      const bool chosen = CPropertyGridDirectoryPicker::PickDirectory(this, folder);
      if (Item* target = stillThere(); target && chosen) {
        target->text = folder;
        Store(target);
      }
      return;
    }
    case IT_COLOR: {
      const QColor color = QColorDialog::getColor(item->color, this, item->name);
      if (Item* target = stillThere(); target && color.isValid()) {
        target->color = color;
        Store(target);
      }
      return;
    }
    case IT_FONT: {
      bool chosen = false;
      const QFont font = QFontDialog::getFont(&chosen, item->font, this, item->name);
      if (Item* target = stillThere(); target && chosen) {
        target->font = font;
        Store(target);
      }
      return;
    }
    case IT_CUSTOM: {
      const std::shared_ptr<ICustomItem> handler = item->custom;
      const bool changed = handler->OnItemButton(this);
      if (Item* target = stillThere(); target && changed) Store(target);
      return;
    }
    default: return;
  }
}

void CPropertyGrid::EndEditing() {
  if (!_editor) return;
  if (auto* edit = qobject_cast<CPropertyGridInPlaceEdit*>(_editor.data())) {
    edit->Finish();
    if (!_editor) return;
  }
  DestroyEditor();
  update();
}

void CPropertyGrid::DestroyEditor() {
  QWidget* editor = _editor.data();
  _editor = nullptr;
  _editorItem = kNone;
  if (!editor) return;
  editor->disconnect(this);
  QWidget* focused = QApplication::focusWidget();
  const bool hadFocus = focused && (focused == editor || editor->isAncestorOf(focused));
  editor->hide();
  editor->deleteLater();
  if (hadFocus) setFocus(Qt::OtherFocusReason);
}

CPropertyGrid::Item* CPropertyGrid::EditorItem() { return FindItem(_editorItem); }

void CPropertyGrid::Store(Item* item) {
  item->undefined = false;
  item->modified = true;
  emit Notify(WM_PG_ITEMCHANGED, item->id);
  DestroyEditor();
  update();
}

void CPropertyGrid::OnEditText(const QString& text) {
  Item* item = EditorItem();
  if (!item) {
    DestroyEditor();
    return;
  }
  switch (item->type) {
    case IT_STRING:
      item->text = text;
      Store(item);
      return;
    case IT_INTEGER: {
      // An emptied box leaves the value as it was.
      if (text.isEmpty()) break;
      const int64_t parsed = ParseDecimalInteger(text.toStdString());
      switch (item->width) {
        case IntegerWidth::Signed32:
          item->integer = ClampToWidth(parsed, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
          break;
        case IntegerWidth::Unsigned32:
          item->integer = ClampToWidth(parsed, 0, std::numeric_limits<unsigned>::max());
          break;
        case IntegerWidth::Signed64: item->integer = parsed; break;
      }
      Store(item);
      return;
    }
    case IT_DOUBLE: {
      // Text that is not a finite decimal number leaves the value as it was.
      const std::optional<double> parsed = ParseDouble(text);
      if (!parsed) break;
      item->real = *parsed;
      Store(item);
      return;
    }
    case IT_CUSTOM:
      if (item->custom->OnEditChanged(text)) {
        Store(item);
        return;
      }
      break;
    default: break;
  }
  DestroyEditor();
  update();
}

void CPropertyGrid::OnComboIndex(int index) {
  Item* item = EditorItem();
  if (item && item->type == IT_BOOLEAN) {
    item->flag = index == 0;
    Store(item);
  } else if (item && item->type == IT_COMBO) {
    item->integer = index;
    Store(item);
  } else {
    DestroyEditor();
  }
}

void CPropertyGrid::OnCalendarDate(const QDate& date) {
  Item* item = EditorItem();
  if (item && item->type == IT_DATE) {
    item->date = date;
    Store(item);
  } else {
    DestroyEditor();
  }
}

void CPropertyGrid::OnEditorCancelled() {
  DestroyEditor();
  update();
}

}  // namespace vq
