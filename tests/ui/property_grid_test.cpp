// The property grid driven with mouse and key events: items, values, the
// in-place editors, focus, sections and the divider.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>
#include <fstream>
#include <limits>
#include <memory>

#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDynDialogEx.h"
#include "ui/CPropertyGrid.h"
#include "ui/CPropertyGridCombo.h"
#include "ui/CPropertyGridDirectoryPicker.h"
#include "ui/CPropertyGridInPlaceEdit.h"
#include "ui/CPropertyGridMonthCalCtrl.h"

using namespace vq;

using uitest::ClickValue;
using uitest::EditBox;
using uitest::NotifyLog;
using uitest::TypeIntoEditBox;

namespace {

using Events = std::vector<std::pair<int, int>>;

class PropertyGrid : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    _window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(_window.get());
    _grid = new CPropertyGrid(_window.get());
    _other = new QLineEdit(_window.get());
    layout->addWidget(_grid);
    layout->addWidget(_other);
    _window->resize(360, 420);
    uitest::ShowActive(*_window);
    _log = std::make_unique<NotifyLog>(*_grid);
  }
  // Closing the window ends a running edit, which the log still records.
  void TearDown() override {
    _window.reset();
    _log.reset();
  }

  CPropertyGrid& Grid() { return *_grid; }
  NotifyLog& Log() { return *_log; }

  std::unique_ptr<QWidget> _window;
  CPropertyGrid* _grid;
  QLineEdit* _other;
  std::unique_ptr<NotifyLog> _log;
};

// ---- values ------------------------------------------------------------------

TEST_F(PropertyGrid, SetItemValueOfAnotherKindFailsAndChangesNothing) {
  const HSECTION section = Grid().AddSection("Values");
  const HITEM number = Grid().AddIntegerItem(section, "Number", 5);
  const HITEM text = Grid().AddStringItem(section, "Text", "abc");

  EXPECT_FALSE(Grid().SetItemValue(number, QString("12")));
  EXPECT_FALSE(Grid().SetItemValue(number, "12"));
  EXPECT_FALSE(Grid().SetItemValue(number, true));
  EXPECT_FALSE(Grid().SetItemValue(number, 1.5));
  EXPECT_FALSE(Grid().SetItemValue(text, 7));
  EXPECT_FALSE(Grid().SetItemValue(12345, 7));

  int64_t value = 0;
  ASSERT_TRUE(Grid().GetItemValue(number, value));
  EXPECT_EQ(5, value);
  EXPECT_EQ("5", Grid().GetItemText(number));
  QString stored;
  ASSERT_TRUE(Grid().GetItemValue(text, stored));
  EXPECT_EQ("abc", stored);
  EXPECT_FALSE(Grid().GetItemValue(number, stored));
  EXPECT_TRUE(Log().Events().empty());
}

TEST_F(PropertyGrid, NarrowReadsFailWhenTheValueDoesNotFit) {
  const HSECTION section = Grid().AddSection("Values");
  const HITEM item = Grid().AddIntegerItem(section, "Wide", int64_t{-1});
  unsigned asUnsigned = 7;
  EXPECT_FALSE(Grid().GetItemValue(item, asUnsigned));
  EXPECT_EQ(7u, asUnsigned);
  ASSERT_TRUE(Grid().SetItemValue(item, int64_t{1} << 40));
  int asInt = 7;
  EXPECT_FALSE(Grid().GetItemValue(item, asInt));
  int64_t asWide = 0;
  EXPECT_TRUE(Grid().GetItemValue(item, asWide));
  EXPECT_EQ(int64_t{1} << 40, asWide);
}

TEST_F(PropertyGrid, ListItemAnswersItsIndexAndLabel) {
  const HSECTION section = Grid().AddSection("Values");
  const HITEM list = Grid().AddComboItem(section, "Mode", {"A", "B", "C"}, 1);
  QString label;
  ASSERT_TRUE(Grid().GetItemValue(list, label));
  EXPECT_EQ("B", label);
  ASSERT_TRUE(Grid().SetItemOptions(list, {"X"}));
  EXPECT_FALSE(Grid().GetItemValue(list, label)) << "index 1 is outside the new labels";
  EXPECT_EQ("", Grid().GetItemText(list));
  EXPECT_TRUE(Grid().SetItemValue(list, int64_t{0}));
  EXPECT_EQ("X", Grid().GetItemText(list));
  EXPECT_FALSE(Grid().SetItemOptions(Grid().AddBoolItem(section, "Flag", true), {"X"}));
}

TEST_F(PropertyGrid, DisplayTextsOfTheItemKinds) {
  const HSECTION section = Grid().AddSection("Kinds");
  EXPECT_EQ("42", Grid().GetItemText(Grid().AddIntegerItem(section, "Int", 42)));
  EXPECT_EQ("0042", Grid().GetItemText(Grid().AddIntegerItem(section, "Padded", 42, "%04d")));
  EXPECT_EQ("-7", Grid().GetItemText(Grid().AddIntegerItem(section, "Windows", int64_t{-7}, "%I64d")));
  EXPECT_EQ("42", Grid().GetItemText(Grid().AddIntegerItem(section, "Unfit", 42, "%s and %s")));
  EXPECT_EQ("0.25", Grid().GetItemText(Grid().AddDoubleItem(section, "Double", 0.25)));
  EXPECT_EQ("1e+20", Grid().GetItemText(Grid().AddDoubleItem(section, "Large", 1e20)));
  EXPECT_EQ("0.25 ms", Grid().GetItemText(Grid().AddDoubleItem(section, "Unit", 0.25, "%.2f ms")));
  EXPECT_EQ("two words", Grid().GetItemText(Grid().AddTextItem(section, "Lines", "two\r\nwords")));
  EXPECT_EQ("B", Grid().GetItemText(Grid().AddComboItem(section, "List", {"A", "B"}, 1)));
  EXPECT_EQ("1; 2; 3", Grid().GetItemText(Grid().AddColorItem(section, "Colour", QColor(1, 2, 3))));
  QFont font("DejaVu Sans");
  font.setPointSize(12);
  EXPECT_EQ("DejaVu Sans; 12pt", Grid().GetItemText(Grid().AddFontItem(section, "Font", font)));
  EXPECT_EQ("/tmp/x.ini", Grid().GetItemText(Grid().AddFileItem(section, "File", "/tmp/x.ini")));
  EXPECT_EQ("/tmp", Grid().GetItemText(Grid().AddFolderItem(section, "Folder", "/tmp")));

  const HITEM flag = Grid().AddBoolItem(section, "Flag", true);
  EXPECT_EQ("True", Grid().GetItemText(flag));
  Grid().SetTrueFalseStrings("Ja", "Nei");
  EXPECT_EQ("Ja", Grid().GetItemText(flag));

  const HITEM empty = Grid().AddStringItem(section, "Empty", "");
  Grid().SetEmptyString("(none)");
  EXPECT_EQ("(none)", Grid().GetItemText(empty));
  Grid().SetItemUndefined(flag);
  Grid().SetUndefinedString("?");
  EXPECT_EQ("?", Grid().GetItemText(flag));
  ASSERT_TRUE(Grid().SetItemValue(flag, false));
  EXPECT_FALSE(Grid().IsItemUndefined(flag));
  EXPECT_EQ("Nei", Grid().GetItemText(flag));
}

// ---- the edit box ------------------------------------------------------------------

TEST_F(PropertyGrid, EditedIntegerIsStoredAndReported) {
  const HITEM item = Grid().AddIntegerItem(Grid().AddSection("S"), "Number", 42);
  ClickValue(Grid(), item);
  CPropertyGridInPlaceEdit* edit = EditBox(Grid());
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ("42", edit->text());
  EXPECT_EQ("42", edit->selectedText());
  EXPECT_EQ(Grid().ItemValueRect(item).topLeft() + QPoint(1, 2), edit->geometry().topLeft());

  Log().Clear();
  TypeIntoEditBox(Grid(), "17");
  int64_t value = 0;
  ASSERT_TRUE(Grid().GetItemValue(item, value));
  EXPECT_EQ(17, value);
  EXPECT_EQ((Events{{WM_PG_ITEMCHANGED, item}}), Log().Events());
  EXPECT_EQ(nullptr, Grid().GetEditor());
}

TEST_F(PropertyGrid, EmptiedIntegerEditLeavesTheValueAndSendsNothing) {
  const HSECTION section = Grid().AddSection("S");
  const HITEM number = Grid().AddIntegerItem(section, "Number", 42);
  const HITEM real = Grid().AddDoubleItem(section, "Real", 2.5);
  ClickValue(Grid(), number);
  Log().Clear();
  TypeIntoEditBox(Grid(), "");
  ClickValue(Grid(), real);
  TypeIntoEditBox(Grid(), "");

  int64_t value = 0;
  ASSERT_TRUE(Grid().GetItemValue(number, value));
  EXPECT_EQ(42, value);
  double realValue = 0;
  ASSERT_TRUE(Grid().GetItemValue(real, realValue));
  EXPECT_EQ(2.5, realValue);
  EXPECT_TRUE(Log().Items(WM_PG_ITEMCHANGED).empty());
  EXPECT_EQ(nullptr, Grid().GetEditor());
}

// Text that is not a finite decimal number leaves a floating-point item as it
// was, as an emptied edit does.
class PropertyGridRefusedReal : public PropertyGrid, public ::testing::WithParamInterface<const char*> {};

TEST_P(PropertyGridRefusedReal, LeavesTheValueAndSendsNothing) {
  const HSECTION section = Grid().AddSection("S");
  const HITEM real = Grid().AddDoubleItem(section, "Real", 2.5);
  ClickValue(Grid(), real);
  Log().Clear();
  TypeIntoEditBox(Grid(), GetParam());
  double value = 0;
  ASSERT_TRUE(Grid().GetItemValue(real, value));
  EXPECT_EQ(2.5, value);
  EXPECT_TRUE(Log().Items(WM_PG_ITEMCHANGED).empty());
  EXPECT_EQ(nullptr, Grid().GetEditor());
}

INSTANTIATE_TEST_SUITE_P(Texts, PropertyGridRefusedReal,
                         ::testing::Values("nan", "-inf", "infinity", "1e999", "-1e999", "0x10", "2.5e3x", "+-1", "e5",
                                           " "));

TEST_F(PropertyGrid, EditedNumbersAreParsedAndKeptWithinTheItemsWidth) {
  const HSECTION section = Grid().AddSection("S");
  const HITEM signed32 = Grid().AddIntegerItem(section, "Int", 1);
  const HITEM unsigned32 = Grid().AddIntegerItem(section, "Unsigned", 1u);
  const HITEM signed64 = Grid().AddIntegerItem(section, "Wide", int64_t{1});
  const HITEM real = Grid().AddDoubleItem(section, "Real", 0.123456789);

  ClickValue(Grid(), signed32);
  TypeIntoEditBox(Grid(), "99999999999");
  ClickValue(Grid(), unsigned32);
  TypeIntoEditBox(Grid(), "-5");
  ClickValue(Grid(), signed64);
  TypeIntoEditBox(Grid(), " 12abc");
  ClickValue(Grid(), real);
  EXPECT_EQ("0.1234568", EditBox(Grid())->text());
  TypeIntoEditBox(Grid(), " +2.5e3 ");

  int asInt = 0;
  unsigned asUnsigned = 1;
  int64_t asWide = 0;
  double asReal = 0;
  ASSERT_TRUE(Grid().GetItemValue(signed32, asInt));
  ASSERT_TRUE(Grid().GetItemValue(unsigned32, asUnsigned));
  ASSERT_TRUE(Grid().GetItemValue(signed64, asWide));
  ASSERT_TRUE(Grid().GetItemValue(real, asReal));
  EXPECT_EQ(std::numeric_limits<int>::max(), asInt);
  EXPECT_EQ(0u, asUnsigned);
  EXPECT_EQ(12, asWide);
  EXPECT_EQ(2500.0, asReal);
}

TEST_F(PropertyGrid, EscapePutsBackTheTextAndSendsNothing) {
  const HITEM item = Grid().AddStringItem(Grid().AddSection("S"), "Name", "before");
  ClickValue(Grid(), item);
  CPropertyGridInPlaceEdit* edit = EditBox(Grid());
  ASSERT_NE(edit, nullptr);
  QTest::keyClicks(edit, "after");
  Log().Clear();
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ("before", edit->text());
  EXPECT_EQ(nullptr, Grid().GetEditor());
  QString value;
  ASSERT_TRUE(Grid().GetItemValue(item, value));
  EXPECT_EQ("before", value);
  EXPECT_TRUE(Log().Events().empty());
  EXPECT_TRUE(Grid().hasFocus());
}

TEST_F(PropertyGrid, TabAndControlArrowsEndTheEditWithItsText) {
  const HSECTION section = Grid().AddSection("S");
  const HITEM first = Grid().AddStringItem(section, "First", "");
  const HITEM second = Grid().AddStringItem(section, "Second", "");
  ClickValue(Grid(), first);
  QTest::keyClicks(EditBox(Grid()), "one");
  QTest::keyClick(EditBox(Grid()), Qt::Key_Tab);
  ClickValue(Grid(), second);
  QTest::keyClicks(EditBox(Grid()), "two");
  QTest::keyClick(EditBox(Grid()), Qt::Key_Left);
  ASSERT_NE(nullptr, Grid().GetEditor()) << "a plain arrow moves within the text";
  QTest::keyClick(EditBox(Grid()), Qt::Key_Down, Qt::ControlModifier);

  EXPECT_EQ("one", Grid().GetItemText(first));
  EXPECT_EQ("two", Grid().GetItemText(second));
  EXPECT_EQ((std::vector<int>{first, second}), Log().Items(WM_PG_ITEMCHANGED));
  EXPECT_TRUE(Grid().hasFocus());
}

TEST_F(PropertyGrid, FocusLossHandsTheTextOverOnce) {
  const HITEM item = Grid().AddStringItem(Grid().AddSection("S"), "Name", "");
  ClickValue(Grid(), item);
  QTest::keyClicks(EditBox(Grid()), "typed");
  Log().Clear();
  _other->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(_other->hasFocus());
  // The grid ending the edit later must not hand the text over again.
  Grid().EndEditing();
  EXPECT_EQ("typed", Grid().GetItemText(item));
  EXPECT_EQ((Events{{WM_PG_ITEMCHANGED, item}}), Log().Events());
  EXPECT_TRUE(_other->hasFocus()) << "storing the edit does not take the focus back";
}

TEST_F(PropertyGrid, EditingStartsOnlyOnAReleaseOverTheSameCell) {
  const HSECTION section = Grid().AddSection("S");
  const HITEM first = Grid().AddIntegerItem(section, "First", 1);
  const HITEM second = Grid().AddIntegerItem(section, "Second", 2);
  QTest::mousePress(&Grid(), Qt::LeftButton, Qt::NoModifier, Grid().ItemValueRect(first).center());
  EXPECT_EQ(nullptr, Grid().GetEditor()) << "a press only arms editing";
  QTest::mouseRelease(&Grid(), Qt::LeftButton, Qt::NoModifier, Grid().ItemValueRect(second).center());
  EXPECT_EQ(nullptr, Grid().GetEditor());
  QTest::mousePress(&Grid(), Qt::LeftButton, Qt::NoModifier, Grid().ItemNameRect(first).center());
  QTest::mouseRelease(&Grid(), Qt::LeftButton, Qt::NoModifier, Grid().ItemNameRect(first).center());
  EXPECT_EQ(nullptr, Grid().GetEditor()) << "the name cell does not edit";
  ClickValue(Grid(), second);
  ASSERT_NE(nullptr, EditBox(Grid()));
  EXPECT_EQ("2", EditBox(Grid())->text());
}

// ---- drop-down list and calendar ------------------------------------------------

TEST_F(PropertyGrid, IndexOneOfABooleanStoresFalse) {
  const HITEM flag = Grid().AddBoolItem(Grid().AddSection("S"), "Flag", true);
  ClickValue(Grid(), flag);
  auto* combo = qobject_cast<CPropertyGridCombo*>(Grid().GetEditor());
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(2, combo->count());
  EXPECT_EQ("True", combo->itemText(0));
  EXPECT_EQ("False", combo->itemText(1));
  EXPECT_EQ(0, combo->currentIndex());
  QAbstractItemView* list = combo->view();
  ASSERT_TRUE(list->isVisible());
  Log().Clear();
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Return);

  bool value = true;
  ASSERT_TRUE(Grid().GetItemValue(flag, value));
  EXPECT_FALSE(value);
  EXPECT_EQ("False", Grid().GetItemText(flag));
  EXPECT_EQ((Events{{WM_PG_ITEMCHANGED, flag}}), Log().Events());
  EXPECT_EQ(nullptr, Grid().GetEditor());
}

TEST_F(PropertyGrid, ListChoiceStoresTheIndexAndEscapeStoresNothing) {
  const HITEM list = Grid().AddComboItem(Grid().AddSection("S"), "Mode", {"A", "B", "C"}, 0);
  uitest::ChooseFromDropDown(Grid(), list, 2);
  int64_t index = 0;
  ASSERT_TRUE(Grid().GetItemValue(list, index));
  EXPECT_EQ(2, index);

  ClickValue(Grid(), list);
  auto* combo = qobject_cast<CPropertyGridCombo*>(Grid().GetEditor());
  ASSERT_NE(combo, nullptr);
  Log().Clear();
  QTest::keyClick(combo->view(), Qt::Key_Up);
  QTest::keyClick(combo->view(), Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Grid().GetEditor() == nullptr; }));
  ASSERT_TRUE(Grid().GetItemValue(list, index));
  EXPECT_EQ(2, index);
  EXPECT_TRUE(Log().Items(WM_PG_ITEMCHANGED).empty());
}

TEST_F(PropertyGrid, MonthCalendarStoresTheChosenDate) {
  const HITEM date = Grid().AddDateItem(Grid().AddSection("S"), "Day", QDate(2024, 2, 28));
  ClickValue(Grid(), date);
  auto* calendar = qobject_cast<CPropertyGridMonthCalCtrl*>(Grid().GetEditor());
  ASSERT_NE(calendar, nullptr);
  EXPECT_EQ(QDate(2024, 2, 28), calendar->selectedDate());
  auto* days = calendar->findChild<QTableView*>();
  ASSERT_NE(days, nullptr);
  Log().Clear();
  QTest::keyClick(days, Qt::Key_Right);
  QTest::keyClick(days, Qt::Key_Return);
  QDate stored;
  ASSERT_TRUE(Grid().GetItemValue(date, stored));
  EXPECT_EQ(QDate(2024, 2, 29), stored);
  EXPECT_EQ((Events{{WM_PG_ITEMCHANGED, date}}), Log().Events());
}

// ---- dialogs behind buttons -----------------------------------------------------

TEST_F(PropertyGrid, EditingDialogsSayOkAndCancelWithoutButtonsOnTheParent) {
  EXPECT_EQ("OK", Grid().OkText());
  EXPECT_EQ("Cancel", Grid().CancelText());
  CPropertyGrid orphan;
  EXPECT_EQ("OK", orphan.OkText());
  EXPECT_EQ("Cancel", orphan.CancelText());

  const HITEM text = Grid().AddTextItem(Grid().AddSection("S"), "Notes", "old");
  uitest::OnModal<CDynDialogEx> cancel([&](CDynDialogEx& dialog) {
    EXPECT_EQ("OK", dialog.OkButton()->text());
    EXPECT_EQ("Cancel", dialog.CancelButton()->text());
    EXPECT_EQ("Notes", dialog.windowTitle());
    auto* edit = dialog.findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ("old", edit->toPlainText());
    edit->setPlainText("discarded");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
  });
  uitest::Click(Grid(), Grid().ItemButtonRect(text));
  EXPECT_TRUE(cancel.Ran());
  EXPECT_EQ("old", Grid().GetItemText(text));
  EXPECT_TRUE(Log().Items(WM_PG_ITEMCHANGED).empty());

  uitest::OnModal<CDynDialogEx> ok([&](CDynDialogEx& dialog) {
    dialog.findChild<QPlainTextEdit*>()->setPlainText("first\nsecond");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
  });
  uitest::Click(Grid(), Grid().ItemButtonRect(text));
  EXPECT_TRUE(ok.Ran());
  QString value;
  ASSERT_TRUE(Grid().GetItemValue(text, value));
  EXPECT_EQ("first\nsecond", value);
  EXPECT_EQ((std::vector<int>{text}), Log().Items(WM_PG_ITEMCHANGED));
}

TEST_F(PropertyGrid, EditingDialogsTakeTheTextsOfTheParentsButtons) {
  QWidget parent;
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &parent);
  buttons->button(QDialogButtonBox::Ok)->setText("Godta");
  buttons->button(QDialogButtonBox::Cancel)->setText("Avbryt");
  auto* grid = new CPropertyGrid(&parent);
  auto* layout = new QVBoxLayout(&parent);
  layout->addWidget(grid);
  layout->addWidget(buttons);
  parent.resize(300, 300);
  uitest::ShowActive(parent);
  EXPECT_EQ("Godta", grid->OkText());
  EXPECT_EQ("Avbryt", grid->CancelText());

  const HITEM when = grid->AddDateTimeItem(grid->AddSection("S"), "When", QDateTime(QDate(2024, 5, 1), QTime(8, 30)));
  uitest::OnModal<CDynDialogEx> check([&](CDynDialogEx& dialog) {
    EXPECT_EQ("Godta", dialog.OkButton()->text());
    EXPECT_EQ("Avbryt", dialog.CancelButton()->text());
    EXPECT_EQ(2, dialog.findChildren<QWidget*>("SysDateTimePick32").size());
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
  });
  uitest::Click(*grid, grid->ItemButtonRect(when));
  EXPECT_TRUE(check.Ran());
}

TEST_F(PropertyGrid, ButtonKindsStoreWhatTheirDialogsChoose) {
  vqtest::TempDir folder;
  const std::string file = folder.Path() + "/camera.ini";
  std::ofstream(file) << "[General]\n";
  const HSECTION section = Grid().AddSection("S");
  const HITEM fileItem = Grid().AddFileItem(section, "File", "", "Settings (*.ini)");
  const HITEM folderItem = Grid().AddFolderItem(section, "Folder", "/");
  const HITEM colourItem = Grid().AddColorItem(section, "Colour", Qt::black);
  const HITEM fontItem = Grid().AddFontItem(section, "Font", QFont("DejaVu Sans", 9));

  uitest::OnModal<QFileDialog> chooseFile([&](QFileDialog& dialog) {
    EXPECT_EQ(QStringList{"Settings (*.ini)"}, dialog.nameFilters());
    dialog.selectFile(QString::fromStdString(file));
    static_cast<QDialog&>(dialog).accept();  // the file dialog's own accept checks the choice
  });
  uitest::Click(Grid(), Grid().ItemButtonRect(fileItem));
  EXPECT_EQ(QString::fromStdString(file), Grid().GetItemText(fileItem));

  uitest::OnModal<CPropertyGridDirectoryPicker> chooseFolder([&](CPropertyGridDirectoryPicker& dialog) {
    EXPECT_EQ("Choose a directory", dialog.windowTitle());
    EXPECT_EQ(QFileDialog::Directory, dialog.fileMode());
    dialog.selectFile(QString::fromStdString(folder.Path()));
    static_cast<QDialog&>(dialog).accept();
  });
  uitest::Click(Grid(), Grid().ItemButtonRect(folderItem));
  EXPECT_EQ(QString::fromStdString(folder.Path()), Grid().GetItemText(folderItem));

  uitest::OnModal<QColorDialog> chooseColour([](QColorDialog& dialog) {
    dialog.setCurrentColor(QColor(10, 20, 30));
    dialog.accept();
  });
  uitest::Click(Grid(), Grid().ItemButtonRect(colourItem));
  EXPECT_EQ("10; 20; 30", Grid().GetItemText(colourItem));

  uitest::OnModal<QFontDialog> keepFont([](QFontDialog& dialog) { dialog.reject(); });
  uitest::Click(Grid(), Grid().ItemButtonRect(fontItem));
  EXPECT_TRUE(keepFont.Ran());
  EXPECT_EQ("DejaVu Sans; 9pt", Grid().GetItemText(fontItem));
  uitest::OnModal<QFontDialog> chooseFont([](QFontDialog& dialog) {
    dialog.setCurrentFont(QFont("DejaVu Sans", 14));
    dialog.accept();
  });
  uitest::Click(Grid(), Grid().ItemButtonRect(fontItem));
  EXPECT_EQ("DejaVu Sans; 14pt", Grid().GetItemText(fontItem));

  EXPECT_EQ((std::vector<int>{fileItem, folderItem, colourItem, fontItem}), Log().Items(WM_PG_ITEMCHANGED));
}

// ---- focus and keyboard ---------------------------------------------------------------

class GridNavigation : public PropertyGrid {
 protected:
  void SetUp() override {
    PropertyGrid::SetUp();
    _a = Grid().AddSection("A");
    _a1 = Grid().AddIntegerItem(_a, "a1", 1);
    _a2 = Grid().AddIntegerItem(_a, "a2", 2);
    _b = Grid().AddSection("B");
    _b1 = Grid().AddIntegerItem(_b, "b1", 3);
    _c = Grid().AddSection("C");
    _c1 = Grid().AddIntegerItem(_c, "c1", 4);
  }
  void Key(Qt::Key key) { QTest::keyClick(&Grid(), key); }
  void Char(char c) { QTest::keyClick(&Grid(), c); }
  // The focused row as a name: an item's or a section's title.
  QString Focused() {
    if (Grid().GetFocusedItem() != CPropertyGrid::kNone) return Grid().GetItemName(Grid().GetFocusedItem());
    if (Grid().GetFocusedSection() == _a) return "A";
    if (Grid().GetFocusedSection() == _b) return "B";
    if (Grid().GetFocusedSection() == _c) return "C";
    return "none";
  }

  HSECTION _a, _b, _c;
  HITEM _a1, _a2, _b1, _c1;
};

TEST_F(GridNavigation, ArrowsWalkTheVisibleRowsAcrossSections) {
  EXPECT_EQ("none", Focused());
  Grid().setFocus();
  Key(Qt::Key_Down);
  EXPECT_EQ("A", Focused());
  Key(Qt::Key_Down);
  EXPECT_EQ("a1", Focused());
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ("B", Focused());
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ("c1", Focused());
  Key(Qt::Key_Down);
  EXPECT_EQ("c1", Focused()) << "the last row stays focused";
  Key(Qt::Key_Up);
  EXPECT_EQ("C", Focused());
  EXPECT_EQ((std::vector<int>{_a1, _a2, CPropertyGrid::kNone, _b1, CPropertyGrid::kNone, _c1, CPropertyGrid::kNone}),
            Log().Items(WM_PG_SELCHANGED));
}

TEST_F(GridNavigation, LeftAndRightFoldSectionsAndCollapsedRowsAreSkipped) {
  uitest::Click(Grid(), Grid().SectionRect(_b).adjusted(Grid().RowHeight() * 2, 0, 0, 0));
  EXPECT_EQ("B", Focused());
  Key(Qt::Key_Left);
  EXPECT_FALSE(Grid().IsSectionExpanded(_b));
  EXPECT_EQ("B", Focused());
  Key(Qt::Key_Down);
  EXPECT_EQ("C", Focused()) << "b1 is folded away";
  Key(Qt::Key_Right);
  EXPECT_EQ("c1", Focused()) << "Right on an expanded section moves down";
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  EXPECT_EQ("B", Focused());
  Key(Qt::Key_Left);
  EXPECT_EQ("a2", Focused()) << "Left on a collapsed section moves up";
  Key(Qt::Key_Down);
  Key(Qt::Key_Right);
  EXPECT_TRUE(Grid().IsSectionExpanded(_b));
  Key(Qt::Key_Down);
  EXPECT_EQ("b1", Focused());
}

TEST_F(GridNavigation, PlusMinusStarAndSlashFoldSections) {
  uitest::Click(Grid(), Grid().SectionRect(_a).adjusted(Grid().RowHeight() * 2, 0, 0, 0));
  Char('-');
  EXPECT_FALSE(Grid().IsSectionExpanded(_a));
  Char('+');
  EXPECT_TRUE(Grid().IsSectionExpanded(_a));
  uitest::Click(Grid(), Grid().ItemNameRect(_b1));
  EXPECT_EQ("b1", Focused());
  Char('-');
  EXPECT_TRUE(Grid().IsSectionExpanded(_b)) << "'-' folds a focused section only";
  Log().Clear();
  Char('/');
  EXPECT_FALSE(Grid().IsSectionExpanded(_a));
  EXPECT_FALSE(Grid().IsSectionExpanded(_b));
  EXPECT_FALSE(Grid().IsSectionExpanded(_c));
  EXPECT_EQ("B", Focused()) << "the focus leaves a row that is folded away";
  EXPECT_EQ((std::vector<int>{CPropertyGrid::kNone}), Log().Items(WM_PG_SELCHANGED));
  Char('*');
  EXPECT_TRUE(Grid().IsSectionExpanded(_a));
  EXPECT_TRUE(Grid().IsSectionExpanded(_c));
}

TEST_F(GridNavigation, ExpandBoxTogglesItsSection) {
  uitest::Click(Grid(), Grid().ExpandBoxRect(_a));
  EXPECT_FALSE(Grid().IsSectionExpanded(_a));
  EXPECT_TRUE(Grid().ItemNameRect(_a1).isNull());
  uitest::Click(Grid(), Grid().ExpandBoxRect(_a));
  EXPECT_TRUE(Grid().IsSectionExpanded(_a));
}

TEST_F(GridNavigation, SelectItemFocusesNotifiesAndShowsTheItem) {
  Grid().ExpandSection(_c, false);
  Grid().SelectItem(_c1);
  EXPECT_EQ("c1", Focused());
  EXPECT_EQ(CPropertyGrid::kNone, Grid().GetFocusedSection());
  EXPECT_TRUE(Grid().IsSectionExpanded(_c));
  EXPECT_EQ((std::vector<int>{_c1}), Log().Items(WM_PG_SELCHANGED));
  Grid().SelectItem(_c1);
  EXPECT_EQ((std::vector<int>{_c1, _c1}), Log().Items(WM_PG_SELCHANGED)) << "sent even without a change";
  Grid().SelectItem(9999);
  EXPECT_EQ("c1", Focused());
  EXPECT_EQ(2u, Log().Items(WM_PG_SELCHANGED).size());
}

TEST_F(PropertyGrid, ScrollsByWheelAndIntoViewOnSelection) {
  const HSECTION section = Grid().AddSection("Many");
  std::vector<HITEM> items;
  for (int i = 0; i < 60; ++i) items.push_back(Grid().AddIntegerItem(section, QString("item%1").arg(i), i));
  EXPECT_EQ(0, Grid().ScrollPosition());
  QWheelEvent down(Grid().rect().center(), Grid().mapToGlobal(Grid().rect().center()), QPoint(), QPoint(0, -120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&Grid(), &down);
  EXPECT_EQ(3 * Grid().RowHeight(), Grid().ScrollPosition());

  Grid().SelectItem(items.back());
  const QRect last = Grid().ItemNameRect(items.back());
  EXPECT_TRUE(Grid().rect().contains(last)) << "the selected item is scrolled into view";
  uitest::Click(Grid(), last);
  EXPECT_EQ(items.back(), Grid().GetFocusedItem());
}

// ---- divider, disabled items -------------------------------------------------------

TEST_F(PropertyGrid, DividerFollowsADrag) {
  const HITEM item = Grid().AddIntegerItem(Grid().AddSection("S"), "Number", 1);
  const int before = Grid().GutterX();
  const int y = Grid().ItemNameRect(item).center().y();
  QTest::mousePress(&Grid(), Qt::LeftButton, Qt::NoModifier, QPoint(before + 2, y));
  QTest::mouseMove(&Grid(), QPoint(before + 42, y));
  QTest::mouseRelease(&Grid(), Qt::LeftButton, Qt::NoModifier, QPoint(before + 42, y));
  EXPECT_EQ(before + 42, Grid().GutterX());
  EXPECT_EQ(before + 43, Grid().ItemValueRect(item).left());
  EXPECT_EQ(nullptr, Grid().GetEditor()) << "a drag does not edit";

  // Farther than two pixels away a press is an ordinary click.
  const int now = Grid().GutterX();
  QTest::mousePress(&Grid(), Qt::LeftButton, Qt::NoModifier, QPoint(now - 4, y));
  QTest::mouseMove(&Grid(), QPoint(now - 40, y));
  QTest::mouseRelease(&Grid(), Qt::LeftButton, Qt::NoModifier, QPoint(now - 40, y));
  EXPECT_EQ(now, Grid().GutterX());
}

TEST_F(PropertyGrid, DisabledItemCanBeFocusedButNotEdited) {
  const HSECTION section = Grid().AddSection("S");
  const HITEM off = Grid().AddIntegerItem(section, "Off", 1, QString(), false);
  const HITEM text = Grid().AddTextItem(section, "Notes", "n", false);
  ClickValue(Grid(), off);
  EXPECT_EQ(off, Grid().GetFocusedItem());
  EXPECT_EQ((std::vector<int>{off}), Log().Items(WM_PG_SELCHANGED));
  EXPECT_EQ(nullptr, Grid().GetEditor());
  QTest::keyClick(&Grid(), Qt::Key_F2);
  EXPECT_EQ(nullptr, Grid().GetEditor());
  uitest::OnModal<QDialog> noDialog([](QDialog&) {}, 200);
  uitest::Click(Grid(), Grid().ItemButtonRect(text));
  EXPECT_EQ(text, Grid().GetFocusedItem());
  EXPECT_FALSE(noDialog.Ran()) << "a dialog opened for the disabled item";

  Grid().EnableItem(off, true);
  ClickValue(Grid(), off);
  EXPECT_NE(nullptr, EditBox(Grid()));
  Grid().EnableItem(off, false);
  EXPECT_EQ(nullptr, Grid().GetEditor()) << "disabling the edited item ends its edit";

  Grid().SetFocusDisabled(false);
  const HITEM on = Grid().AddIntegerItem(section, "On", 2);
  uitest::Click(Grid(), Grid().ItemNameRect(on));
  uitest::Click(Grid(), Grid().ItemNameRect(off));
  EXPECT_EQ(on, Grid().GetFocusedItem());
  QTest::keyClick(&Grid(), Qt::Key_Up);
  QTest::keyClick(&Grid(), Qt::Key_Up);
  EXPECT_EQ(section, Grid().GetFocusedSection()) << "disabled rows are skipped";
}

// ---- custom items ---------------------------------------------------------------------

class Counter : public ICustomItem {
 public:
  EditMode GetEditMode() const override { return EM_INPLACE; }
  QString DisplayText() const override { return QString("%1 clicks").arg(_count); }
  QString EditText() const override { return QString::number(_count); }
  bool OnEditChanged(const QString& text) override {
    bool ok = false;
    const int count = text.toInt(&ok);
    if (!ok || count == _count) return false;
    _count = count;
    return true;
  }
  int _count = 0;
};

TEST_F(PropertyGrid, CustomItemDecidesWhatAnEditMeans) {
  auto counter = std::make_shared<Counter>();
  const HITEM item = Grid().AddCustomItem(Grid().AddSection("S"), "Counter", counter);
  EXPECT_EQ("0 clicks", Grid().GetItemText(item));
  ClickValue(Grid(), item);
  TypeIntoEditBox(Grid(), "not a number");
  ClickValue(Grid(), item);
  TypeIntoEditBox(Grid(), "5");
  EXPECT_EQ("5 clicks", Grid().GetItemText(item));
  EXPECT_EQ((std::vector<int>{item}), Log().Items(WM_PG_ITEMCHANGED));
}

}  // namespace
