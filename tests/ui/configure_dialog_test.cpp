// The configuration dialog through configureCamera, as a host calls it, on
// cameras of the simulated bus whose parameter sets hold the video-mode and
// Format7 parameters (built by hand here; see the end-to-end test for the
// ones a Format7 camera reports when it opens).
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <functional>
#include <thread>

#include "camera/Camera.h"
#include "include/VorquellCamera.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
#include "platform/PrivateProfile.h"
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

using DialogAction = std::function<void(CSheet1&, CPropertyGeneral&)>;

class ConfigureDialog : public vqtest::DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    uitest::App();
    _savedSystemPath = GetDriverContext()->SystemPath();
    GetDriverContext()->SetSystemPath(_folder.Path());
    std::lock_guard<std::mutex> lock(Mono().Settings().Lock());
    uitest::AddFormat7Parameters(Mono().Settings().Parameters());
  }
  void TearDown() override {
    DriverFixture::TearDown();
    GetDriverContext()->SetSystemPath(_savedSystemPath);
  }

  // configureCamera for the camera, with `action` run on the dialog once it shows.
  int Configure(Camera& camera, const DialogAction& action) {
    uitest::OnModal<CSheet1> onSheet([&](CSheet1& sheet) {
      ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
      auto* page = sheet.findChild<CPropertyGeneral*>();
      ASSERT_NE(page, nullptr);
      action(sheet, *page);
    });
    const int result = configureCamera(0, camera.Name().c_str());
    EXPECT_TRUE(onSheet.Ran()) << "the dialog did not show";
    return result;
  }

  // A value of the camera's own parameter set.
  template <class T>
  T CameraValue(Camera& camera, const std::string& name) {
    std::lock_guard<std::mutex> lock(camera.Settings().Lock());
    return dynamic_cast<Param<T>&>(camera.Settings().Parameters().GetParam(name))._value;
  }

  std::string SettingsFile() const { return _folder.Path() + "/VorquellCamera.ini"; }
  std::string Stored(const std::string& section, const std::string& key) const {
    char value[256];
    vq::GetPrivateProfileString(section.c_str(), key.c_str(), "(absent)", value, sizeof value, SettingsFile().c_str());
    return value;
  }

  static void EditValue(CPropertyGeneral& page, const std::string& name, const QString& text) {
    ClickValue(page.Grid(), page.ItemOf(name));
    TypeIntoEditBox(page.Grid(), text);
  }

  vqtest::TempDir _folder;
  std::string _savedSystemPath;
};

TEST_F(ConfigureDialog, ShowsTheVisibleParametersUnderTheirGroups) {
  const int result = Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EXPECT_EQ("Configure camera on port #0: Mono (2222)", sheet.windowTitle()) << "never opened: port -1";
    EXPECT_TRUE(sheet.OkEnabled());
    EXPECT_EQ("", sheet.StatusText());
    EXPECT_EQ("", page.NameText());
    EXPECT_EQ("", page.DescriptionText());
    CPropertyGrid& grid = page.Grid();
    for (const char* name : {"LogLevel", "LogIntoFile", "Continuous", "DCAMVideoMode", "width"})
      EXPECT_NE(CPropertyGrid::kNone, page.ItemOf(name)) << name;
    EXPECT_EQ(CPropertyGrid::kNone, page.ItemOf("DebugViewOutput")) << "not visible";
    EXPECT_EQ("FORMAT7", grid.GetItemText(page.ItemOf("DCAMVideoMode")));
    EXPECT_EQ("1280", grid.GetItemText(page.ItemOf("width")));
    // Sections in the order their groups first occur: General first.
    EXPECT_LT(grid.ItemNameRect(page.ItemOf("LogLevel")).top(), grid.ItemNameRect(page.ItemOf("Continuous")).top());
    EXPECT_LT(grid.ItemNameRect(page.ItemOf("Continuous")).top(),
              grid.ItemNameRect(page.ItemOf("DCAMVideoMode")).top());
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
  EXPECT_EQ(1, result);
}

TEST_F(ConfigureDialog, FixedVideoModeGreysTheFormat7ItemsAndRefreshesTheFrameRates) {
  const int result = Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    CPropertyGrid& grid = page.Grid();
    const HITEM rate = page.ItemOf("DCAMFrameRate");
    EXPECT_EQ((QStringList{"FORMAT7"}), grid.GetItemOptions(rate));

    ChooseFromDropDown(grid, page.ItemOf("DCAMVideoMode"), 0);
    for (const std::string& name : kFormat7Names) EXPECT_FALSE(grid.IsItemEnabled(page.ItemOf(name))) << name;
    EXPECT_EQ((QStringList{"7.5 fps", "30 fps"}), grid.GetItemOptions(rate));
    EXPECT_EQ("7.5 fps", grid.GetItemText(rate));
    EXPECT_TRUE(sheet.OkEnabled());
    EXPECT_TRUE(grid.IsItemEnabled(page.ItemOf("LogLevel")));

    uitest::ClickName(grid, page.ItemOf("width"));
    EXPECT_EQ("width", page.NameText()) << "a parameter out of force shows no range";

    ChooseFromDropDown(grid, page.ItemOf("DCAMVideoMode"), 2);
    for (const std::string& name : kFormat7Names) EXPECT_TRUE(grid.IsItemEnabled(page.ItemOf(name))) << name;
    EXPECT_EQ((QStringList{"FORMAT7"}), grid.GetItemOptions(rate));
    uitest::ClickName(grid, page.ItemOf("width"));
    EXPECT_EQ("width [0..1280]", page.NameText());
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
  EXPECT_EQ(1, result);
}

TEST_F(ConfigureDialog, WidthAboveItsMaximumDisablesOkUntilCorrected) {
  const int result = Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EditValue(page, "width", "5000");
    EXPECT_FALSE(sheet.OkEnabled());
    EXPECT_FALSE(sheet.OkButton()->isEnabled());
    EXPECT_EQ("General: Format7: width: out of range [0..1280]", sheet.StatusText());
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isVisible()) << "Enter does not confirm while OK is disabled";

    EditValue(page, "width", "640");
    EXPECT_TRUE(sheet.OkEnabled());
    EXPECT_TRUE(sheet.OkButton()->isEnabled());
    EXPECT_EQ("", sheet.StatusText());
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
  EXPECT_EQ(1, result);
}

TEST_F(ConfigureDialog, OkSavesTheSettingsFileAndAssignsTheCamerasSet) {
  const int result = Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EditValue(page, "width", "640");
    EditValue(page, "LogLevel", "3");
    ChooseFromDropDown(page.Grid(), page.ItemOf("Continuous"), 0);
    QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(0, result);
  EXPECT_EQ(640u, CameraValue<unsigned>(Mono(), "width"));
  EXPECT_EQ(3, CameraValue<int>(Mono(), "LogLevel"));
  EXPECT_TRUE(CameraValue<bool>(Mono(), "Continuous"));
  EXPECT_EQ("640", Stored("Mono (2222)", "width"));
  EXPECT_EQ("1", Stored("Mono (2222)", "Continuous"));
  EXPECT_EQ("3", Stored("General", "LogLevel"));
  EXPECT_EQ("(absent)", Stored("Mono (2222)", "LogLevel"));
  EXPECT_TRUE(Log().Contains("Camera::Configure: entering, " + Mono().Tag() + "\n"));
  EXPECT_TRUE(Log().Contains("Camera::Configure: leaving, " + Mono().Tag() + "\n"));
  EXPECT_TRUE(Log().Contains("configureCamera: leaving cameraName=Mono (2222)\n"));
}

TEST_F(ConfigureDialog, OkTakesOverTheEditsAndKeepsWhatChangedMeanwhile) {
  int value = -1;
  // The camera is opened for the first time while the dialog shows.
  EXPECT_EQ(0, Configure(Colour(), [&](CSheet1& sheet, CPropertyGeneral& page) {
              EditValue(page, "LogLevel", "2");
              int size[2];
              ASSERT_EQ(1, openCVLPort(0, 3, "Colour (1111)", size));
              ASSERT_EQ(1, setProperty(0, 3, "Brightness", 33));
              QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
            }));
  EXPECT_EQ(2, CameraValue<int>(Colour(), "LogLevel"));
  ASSERT_EQ(1, getProperty(0, 3, "Brightness", &value)) << "the features read at open are kept";
  EXPECT_EQ(33, value);

  // The host sets a value the dialog shows but the user leaves alone.
  EXPECT_EQ(0, Configure(Colour(), [&](CSheet1& sheet, CPropertyGeneral& page) {
              EXPECT_EQ("33", page.Grid().GetItemText(page.ItemOf("Brightness")));
              EditValue(page, "Gain", "77");
              ASSERT_EQ(1, setProperty(0, 3, "Brightness", 44));
              QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
            }));
  ASSERT_EQ(1, getProperty(0, 3, "Brightness", &value));
  EXPECT_EQ(44, value) << "the host's value is not undone";
  ASSERT_EQ(1, getProperty(0, 3, "Gain", &value));
  EXPECT_EQ(77, value);
  EXPECT_EQ("77", Stored("Colour (1111)", "Gain"));

  // Both reach the camera at the next open, the host's value over the file's.
  closeCVLPort(0, 3);
  int size[2];
  ASSERT_EQ(1, openCVLPort(0, 3, "Colour (1111)", size));
  EXPECT_EQ(44u, vq::sim::GetPropertyState(vqtest::kColourSerial, FlyCapture2::BRIGHTNESS).valueA);
  EXPECT_EQ(77u, vq::sim::GetPropertyState(vqtest::kColourSerial, FlyCapture2::GAIN).valueA);
}

TEST_F(ConfigureDialog, DialogStartsFromTheSettingsFile) {
  ASSERT_TRUE(vq::WritePrivateProfileString("Mono (2222)", "width", "320", SettingsFile().c_str()));
  Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EXPECT_EQ("320", page.Grid().GetItemText(page.ItemOf("width")));
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
  EXPECT_EQ(1280u, CameraValue<unsigned>(Mono(), "width")) << "only the dialog's copy was loaded";
}

TEST_F(ConfigureDialog, CancelChangesNothing) {
  const int result = Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EditValue(page, "width", "640");
    ChooseFromDropDown(page.Grid(), page.ItemOf("DCAMVideoMode"), 0);
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
  EXPECT_EQ(1, result);
  EXPECT_EQ(1280u, CameraValue<unsigned>(Mono(), "width"));
  EXPECT_EQ("FORMAT7", CameraValue<std::string>(Mono(), "DCAMVideoMode"));
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
  EXPECT_TRUE(Log().Contains("Camera::Configure: leaving, " + Mono().Tag() + "\n"));
}

TEST_F(ConfigureDialog, ReopeningAfterOkSelectsTheLastSelectedItem) {
  Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EXPECT_EQ(CPropertyGrid::kNone, page.Grid().GetFocusedItem());
    uitest::ClickName(page.Grid(), page.ItemOf("height"));
    uitest::ClickName(page.Grid(), page.ItemOf("width"));
    QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
  });
  {
    std::lock_guard<std::mutex> lock(Mono().Settings().Lock());
    const auto& last =
        dynamic_cast<const Param<std::string>&>(Mono().Settings().Parameters().GetParam("LastFocusedItemName"));
    EXPECT_EQ("width", last._value);
    EXPECT_EQ("Internal", last._group);
    EXPECT_FALSE(last._enabled);
    EXPECT_FALSE(last._visible);
    EXPECT_FALSE(last._persistent);
    EXPECT_TRUE(last._global);
  }
  EXPECT_EQ("(absent)", Stored("General", "LastFocusedItemName"));

  Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EXPECT_EQ(page.ItemOf("width"), page.Grid().GetFocusedItem());
    EXPECT_EQ(CPropertyGrid::kNone, page.ItemOf("LastFocusedItemName"));
    EXPECT_EQ("", page.NameText()) << "the labels start empty";
    uitest::ClickName(page.Grid(), page.ItemOf("height"));
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
  Configure(Mono(), [&](CSheet1& sheet, CPropertyGeneral& page) {
    EXPECT_EQ(page.ItemOf("width"), page.Grid().GetFocusedItem()) << "a cancelled selection is forgotten";
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
  });
}

TEST_F(ConfigureDialog, QuestionWhileCapturingAnsweredWithCancelReturnsOneWithoutLeavingLine) {
  int size[2];
  ASSERT_EQ(1, openCVLPort(0, 3, "Colour (1111)", size));
  ASSERT_EQ(1, doCVLGrab(0, 3));
  ASSERT_TRUE(WaitForState(Colour(), CamCapture));
  Log().Clear();

  uitest::OnModal<QMessageBox> decline([](QMessageBox& question) {
    EXPECT_EQ("Configure camera on port #4: Colour (1111)", question.windowTitle());
    EXPECT_EQ(
        "Configuring camera properties while inspection is running may cause undesired effects. Continue anyway ?",
        question.text());
    EXPECT_EQ(QMessageBox::Warning, question.icon());
    ASSERT_NE(nullptr, question.button(QMessageBox::Ok));
    QTest::mouseClick(question.button(QMessageBox::Cancel), Qt::LeftButton);
  });
  EXPECT_EQ(1, configureCamera(0, "Colour (1111)"));
  EXPECT_TRUE(decline.Ran());
  EXPECT_TRUE(Log().Contains("Camera::Configure: entering, " + Colour().Tag() + "\n"));
  EXPECT_FALSE(Log().ContainsPrefix("Camera::Configure: leaving"));
  EXPECT_TRUE(Log().Contains("configureCamera: leaving cameraName=Colour (1111)\n"));

  uitest::OnModal<QMessageBox> accept(
      [](QMessageBox& question) { QTest::mouseClick(question.button(QMessageBox::Ok), Qt::LeftButton); });
  const int result = Configure(
      Colour(), [](CSheet1& sheet, CPropertyGeneral&) { QTest::mouseClick(sheet.OkButton(), Qt::LeftButton); });
  EXPECT_TRUE(accept.Ran());
  EXPECT_EQ(0, result);
  EXPECT_TRUE(Log().ContainsPrefix("Camera::Configure: leaving"));
}

TEST_F(ConfigureDialog, FailureDuringTheDialogEndsItAndKeepsTheCamerasSet) {
  const int result = Configure(Mono(), [&](CSheet1&, CPropertyGeneral& page) {
    EditValue(page, "width", "640");
    // An unsigned item holding a value no unsigned parameter can take.
    CPropertyGrid& grid = page.Grid();
    ASSERT_TRUE(grid.SetItemValue(page.ItemOf("width"), int64_t{-1}));
    emit grid.Notify(WM_PG_ITEMCHANGED, page.ItemOf("width"));
  });
  EXPECT_EQ(1, result);
  EXPECT_EQ(1280u, CameraValue<unsigned>(Mono(), "width"));
  EXPECT_TRUE(Log().Contains("Camera::Configure: ERROR: " + Mono().Tag() + ", Failed to get control 'width' value\n"));
  EXPECT_FALSE(Log().ContainsPrefix("Camera::Configure: leaving"));
}

// A parameter type without an adapter.
class CountedParam : public Param<int> {
 public:
  CountedParam() : Param<int>("Camera", "Counted", 0, 0, 10, 1) {}
  CountedParam* Clone() const override { return new CountedParam(*this); }
};

TEST_F(ConfigureDialog, ParameterWithoutAdapterFailsThePageWithTheLookupText) {
  {
    std::lock_guard<std::mutex> lock(Colour().Settings().Lock());
    Colour().Settings().Parameters().AddParam(new CountedParam);
  }
  uitest::OnModal<QDialog> noDialog([](QDialog&) {}, 200);
  EXPECT_EQ(1, configureCamera(0, "Colour (1111)"));
  EXPECT_FALSE(noDialog.Ran());
  EXPECT_TRUE(Log().Contains("Camera::Configure: ERROR: " + Colour().Tag() +
                             ", CPropertyGeneral::LookupAdapter: Unsupported parameter 'Counted' type\n"));
}

TEST_F(ConfigureDialog, CallFromAnotherThreadIsRefused) {
  int result = -1;
  std::thread other([&] { result = configureCamera(0, "Colour (1111)"); });
  other.join();
  EXPECT_EQ(1, result);
  EXPECT_TRUE(Log().Contains("Camera::Configure: ERROR: " + Colour().Tag() +
                             ", the dialog can only be shown on the thread of the Qt application\n"));
  EXPECT_FALSE(Log().ContainsPrefix("Camera::Configure: leaving"));
}

TEST_F(ConfigureDialog, UnknownCameraReturnsZero) {
  EXPECT_EQ(0, configureCamera(0, "Nobody (1)"));
  EXPECT_TRUE(Log().Contains("configureCamera: ERROR: cannot find camera by name: Nobody (1)\n"));
}

}  // namespace
