#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>
#include <memory>

#include "params/ConstraintEnumOff.h"
#include "params/Param.h"
#include "params/ParamEnum.h"

#include "ui/CPropertyGridCombo.h"
#include "ui/CPropertyGridInPlaceEdit.h"

using namespace vq;

namespace uitest {

namespace {

std::unique_ptr<QApplication> application;
int argc = 1;
char name[] = "ui_tests";
char* argv[] = {name, nullptr};

}  // namespace

QApplication& App() {
  if (!application) application = std::make_unique<QApplication>(argc, argv);
  return *application;
}

void DestroyApplication() { application.reset(); }

void ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

NotifyLog::NotifyLog(CPropertyGrid& grid) {
  QObject::connect(&grid, &CPropertyGrid::Notify,
                   [this](int message, int item) { _events.emplace_back(message, item); });
}

std::vector<int> NotifyLog::Items(int message) const {
  std::vector<int> items;
  for (const auto& [sent, item] : _events)
    if (sent == message) items.push_back(item);
  return items;
}

void Click(QWidget& widget, const QRect& rect) {
  ASSERT_FALSE(rect.isEmpty());
  QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, rect.center());
}

void ClickValue(CPropertyGrid& grid, HITEM item) {
  grid.EnsureVisible(item);
  Click(grid, grid.ItemValueRect(item));
}

void ClickName(CPropertyGrid& grid, HITEM item) {
  grid.EnsureVisible(item);
  Click(grid, grid.ItemNameRect(item));
}

CPropertyGridInPlaceEdit* EditBox(CPropertyGrid& grid) {
  auto* edit = qobject_cast<CPropertyGridInPlaceEdit*>(grid.GetEditor());
  EXPECT_NE(edit, nullptr) << "no edit box is running";
  return edit;
}

void TypeIntoEditBox(CPropertyGrid& grid, const QString& text) {
  CPropertyGridInPlaceEdit* edit = EditBox(grid);
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  if (text.isEmpty())
    QTest::keyClick(edit, Qt::Key_Backspace);
  else
    QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

void ChooseFromDropDown(CPropertyGrid& grid, HITEM item, int index) {
  ClickValue(grid, item);
  auto* combo = qobject_cast<CPropertyGridCombo*>(grid.GetEditor());
  ASSERT_NE(combo, nullptr) << "no drop-down list is running";
  QAbstractItemView* list = combo->view();
  ASSERT_TRUE(list->isVisible()) << "the list did not open";
  list->setCurrentIndex(list->model()->index(index, 0));
  QTest::keyClick(list, Qt::Key_Return);
}

namespace {

// Offers the frame rates of the selected video mode, keeping the selected
// rate when it is still offered.
class FrameRatesOfMode : public Constraint {
 public:
  void Apply(CameraParameters& params) override {
    auto& mode = dynamic_cast<ParamEnum&>(params.GetParam("DCAMVideoMode"));
    auto& rate = dynamic_cast<ParamEnum&>(params.GetParam("DCAMFrameRate"));
    const int64_t previous = rate.GetValue();
    rate.ClearOptions();
    switch (mode.GetValue()) {
      case 5:
        rate.AddOption("7.5 fps", 2);
        rate.AddOption("30 fps", 4);
        break;
      case 17: rate.AddOption("15 fps", 3); break;
      default: rate.AddOption("FORMAT7", 8); break;
    }
    rate.SelectByValue(previous);
  }
  FrameRatesOfMode* Clone() const override { return new FrameRatesOfMode(*this); }
};

Param<unsigned>* Unsigned(const std::string& name, unsigned value, unsigned min, unsigned max) {
  return new Param<unsigned>("Format7", name, value, min, max, 0u);
}

}  // namespace

void AddFormat7Parameters(CameraParameters& params) {
  auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
  mode->AddOption("640x480Y8", 5);
  mode->AddOption("1280x960Y8", 17);
  mode->AddOption("FORMAT7", 23);
  mode->SelectByValue(23);
  params.AddParam(mode);
  auto* rate = new ParamEnum("DCAM Formats", "DCAMFrameRate", "");
  rate->AddOption("FORMAT7", 8);
  params.AddParam(rate);
  auto* fmt7Mode = new ParamEnum("Format7", "Fmt7Mode", "");
  fmt7Mode->AddOption("Mode 0", 0);
  params.AddParam(fmt7Mode);
  params.AddParam(Unsigned("offsetX", 0, 0, 1280));
  params.AddParam(Unsigned("offsetY", 0, 0, 960));
  params.AddParam(Unsigned("width", 1280, 0, 1280));
  params.AddParam(Unsigned("height", 960, 0, 960));
  params.AddParam(Unsigned("Fmt7PacketSize", 2048, 4, 4096));
  auto* pixels = new ParamEnum("Format7", "Fmt7PixelFormat", "");
  pixels->AddOption("MONO8", static_cast<int32_t>(0x80000000u));
  pixels->AddOption("MONO16", 0x04000000);
  params.AddParam(pixels);
  params.AddConstraint(
      new ConstraintEnumOff("DCAMVideoMode", "FORMAT7", false, {kFormat7Names.begin(), kFormat7Names.end()}));
  params.AddConstraint(new FrameRatesOfMode);
}

}  // namespace uitest
