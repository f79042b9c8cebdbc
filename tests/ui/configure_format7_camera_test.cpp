// The configuration dialog of a simulated Format7 camera, end to end: the
// parameters are those the camera reports when it opens, and what the dialog
// saves reaches the camera when it opens next.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <set>

#include "camera/Camera.h"
#include "include/VorquellCamera.h"
#include "params/Param.h"
#include "platform/PrivateProfile.h"
#include "sdk/sim/SimControl.h"
#include "tests/support/DriverFixture.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CPropertyGeneral.h"
#include "ui/CSheet1.h"

using namespace vq;

using uitest::ChooseFromDropDown;
using uitest::ClickValue;
using uitest::kFormat7Names;
using uitest::TypeIntoEditBox;

namespace {

constexpr unsigned kSerial = 3333;
constexpr const char* kName = "Format7 (3333)";

// A monochrome camera with two fixed modes and Format7 mode 0 (1280x960,
// MONO8 and MONO16), started in Format7 at the full sensor.
const char* kFleet = R"({"cameras": [
  {"model": "Format7", "serial": 3333, "color": false,
   "videoModes": [{"mode": "640x480Y8", "frameRates": ["7.5 fps", "30 fps"]},
                  {"mode": "1280x960Y8", "frameRates": ["15 fps"]}],
   "format7": [{"mode": 0, "maxWidth": 1280, "maxHeight": 960, "pixelFormats": ["MONO8", "MONO16"]}],
   "current": {"videoMode": "FORMAT7", "format7": {"mode": 0, "width": 1280, "height": 960}}}
]})";

class ConfigureFormat7Camera : public vqtest::DriverFixture {
 protected:
  std::string Fleet() const override { return kFleet; }
  void SetUp() override {
    DriverFixture::SetUp();
    uitest::App();
    _savedSystemPath = GetDriverContext()->SystemPath();
    GetDriverContext()->SetSystemPath(_folder.Path());
  }
  void TearDown() override {
    DriverFixture::TearDown();
    GetDriverContext()->SetSystemPath(_savedSystemPath);
  }

  Camera& Format7Camera() { return List().GetBySerialNo(kSerial); }
  bool HasVideoModeParameters() {
    std::lock_guard<std::mutex> lock(Format7Camera().Settings().Lock());
    return Format7Camera().Settings().Parameters().HasParam("DCAMVideoMode");
  }

  int Configure(const std::function<void(CSheet1&, CPropertyGeneral&)>& action) {
    uitest::OnModal<CSheet1> onSheet([&](CSheet1& sheet) {
      ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
      auto* page = sheet.findChild<CPropertyGeneral*>();
      ASSERT_NE(page, nullptr);
      action(sheet, *page);
    });
    const int result = configureCamera(0, kName);
    EXPECT_TRUE(onSheet.Ran()) << "the dialog did not show";
    return result;
  }

  static void EditValue(CPropertyGeneral& page, const std::string& name, const QString& text) {
    ClickValue(page.Grid(), page.ItemOf(name));
    TypeIntoEditBox(page.Grid(), text);
  }

  vqtest::TempDir _folder;
  std::string _savedSystemPath;
};

TEST_F(ConfigureFormat7Camera, EditsAreValidatedSavedAndReachTheCameraAtItsNextOpen) {
  int size[2];
  ASSERT_EQ(1, openCVLPort(0, 0, kName, size));
  ASSERT_EQ(1280, size[0]);
  ASSERT_TRUE(HasVideoModeParameters());

  const int result = Configure([&](CSheet1& sheet, CPropertyGeneral& page) {
    CPropertyGrid& grid = page.Grid();
    const HITEM rate = page.ItemOf("DCAMFrameRate");
    EXPECT_EQ("FORMAT7", grid.GetItemText(page.ItemOf("DCAMVideoMode")));
    EXPECT_EQ((QStringList{"FORMAT7"}), grid.GetItemOptions(rate));

    const QStringList modes = grid.GetItemOptions(page.ItemOf("DCAMVideoMode"));
    ChooseFromDropDown(grid, page.ItemOf("DCAMVideoMode"), static_cast<int>(modes.indexOf("640x480Y8")));
    for (const std::string& name : kFormat7Names) EXPECT_FALSE(grid.IsItemEnabled(page.ItemOf(name))) << name;
    EXPECT_EQ((QStringList{"7.5 fps", "30 fps"}), grid.GetItemOptions(rate));
    ChooseFromDropDown(grid, page.ItemOf("DCAMVideoMode"), static_cast<int>(modes.indexOf("FORMAT7")));
    for (const std::string& name : kFormat7Names) EXPECT_TRUE(grid.IsItemEnabled(page.ItemOf(name))) << name;
    EXPECT_EQ((QStringList{"FORMAT7"}), grid.GetItemOptions(rate));

    EditValue(page, "width", "5000");
    EXPECT_FALSE(sheet.OkEnabled());
    EXPECT_EQ("General: Format7: width: out of range [0..1280]", sheet.StatusText());
    EditValue(page, "width", "640");
    EXPECT_TRUE(sheet.OkEnabled());
    EXPECT_EQ("", sheet.StatusText());
    uitest::ClickName(grid, page.ItemOf("offsetX"));
    EXPECT_EQ("offsetX [0..640]", page.NameText()) << "the Format7 limits follow the width";
    QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
  });
  ASSERT_EQ(0, result);
  {
    std::lock_guard<std::mutex> lock(Format7Camera().Settings().Lock());
    EXPECT_EQ(640u, dynamic_cast<Param<unsigned>&>(Format7Camera().Settings().Parameters().GetParam("width"))._value);
  }
  char stored[64];
  const std::string file = _folder.Path() + "/VorquellCamera.ini";
  vq::GetPrivateProfileString(kName, "width", "", stored, sizeof stored, file.c_str());
  EXPECT_STREQ("640", stored);
  EXPECT_EQ(1280u, vq::sim::CurrentFormat7Settings(kSerial).width) << "the dialog writes nothing to the camera";

  closeCVLPort(0, 0);
  ASSERT_EQ(1, openCVLPort(0, 0, kName, size));
  EXPECT_EQ(640, size[0]);
  EXPECT_EQ(960, size[1]);
  EXPECT_EQ(640u, vq::sim::CurrentFormat7Settings(kSerial).width);
}

// Renders the dialog offscreen; with VQ_UI_SCREENSHOT naming a file the
// picture is written there (the host's guide's picture is made this way).
TEST_F(ConfigureFormat7Camera, SheetLayoutAndScreenshot) {
  int size[2];
  ASSERT_EQ(1, openCVLPort(0, 0, kName, size));
  Configure([&](CSheet1& sheet, CPropertyGeneral& page) {
    CPropertyGrid& grid = page.Grid();
    // The picture: every section folded but the video-mode and Format7 ones,
    // an invalid width and its message.
    QTest::keyClick(&grid, '/');
    grid.EnsureVisible(page.ItemOf("DCAMVideoMode"));
    EditValue(page, "width", "2000");
    uitest::ClickName(grid, page.ItemOf("width"));

    // OK and Cancel stand at the right of the pages, the status bar below them.
    const QRect pages = sheet.findChild<QTabWidget*>()->geometry();
    const QRect ok = sheet.OkButton()->geometry();
    const QRect cancel = sheet.CancelButton()->geometry();
    EXPECT_GT(ok.left(), pages.right());
    EXPECT_EQ(sheet.width() - ok.width() - 17, ok.left());
    EXPECT_EQ(27, ok.top());
    EXPECT_EQ(ok.left(), cancel.left());
    EXPECT_EQ(ok.bottom() + 1 + 5, cancel.top());
    const QRect status = sheet.findChild<QStatusBar*>()->geometry();
    EXPECT_EQ(sheet.height(), status.bottom() + 1);
    EXPECT_EQ(sheet.width(), status.width());
    EXPECT_GT(status.top(), pages.bottom());
    EXPECT_EQ("General", sheet.findChild<QTabWidget*>()->tabText(0));

    const QImage shot = sheet.grab().toImage();
    EXPECT_EQ(sheet.size(), shot.size());
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
      for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 20u) << "the picture is all but blank";
    if (const char* file = std::getenv("VQ_UI_SCREENSHOT")) {
      EXPECT_TRUE(shot.save(file, "PNG")) << file;
    }
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
}

}  // namespace
