#include "ui/ConfigureDialog.h"

#include <QMessageBox>
#include <QWindow>
#include <exception>
#include <mutex>
#include <string>

#include "camera/Camera.h"
#include "log/DriverContext.h"
#include "ui/CPropertyGeneral.h"
#include "ui/CSheet1.h"
#include "ui/DialogApplication.h"

namespace vq {

namespace {

// Asks whether to go on although the camera is capturing; true for OK.
bool ConfirmWhileCapturing(const QString& title, CvlWindowHandle parentWindow) {
  QMessageBox question(QMessageBox::Warning, title,
                       "Configuring camera properties while inspection is running may cause undesired effects. "
                       "Continue anyway ?",
                       QMessageBox::Ok | QMessageBox::Cancel, DialogApplication::HostWidget(parentWindow));
  const auto host = DialogApplication::AttachToHostWindow(question, parentWindow);
  return question.exec() == QMessageBox::Ok;
}

CameraParameters CopyOfParameters(Camera& camera) {
  LockDeferringLog<std::mutex> lock(camera.Settings().Lock());
  return camera.Settings().Parameters();
}

}  // namespace

bool ShowConfigureDialog(Camera& camera, CvlWindowHandle parentWindow) {
  DriverContext* context = GetDriverContext();
  WriteLog(context, kLogInfo, "Camera::Configure: entering, %s\n", camera.Tag().c_str());
  std::string refused;
  if (!DialogApplication::Prepare(refused)) {
    WriteLog(context, kLogError, "Camera::Configure: ERROR: %s, %s\n", camera.Tag().c_str(), refused.c_str());
    return false;
  }

  const QString title = QString::asprintf("Configure camera on port #%d: %s", camera.Port() + 1, camera.Name().c_str());
  if (camera.State().IsState(CamCapture) && !ConfirmWhileCapturing(title, parentWindow)) return false;

  bool result = false;
  try {
    CSheet1 sheet(title, DialogApplication::HostWidget(parentWindow));
    const auto host = DialogApplication::AttachToHostWindow(sheet, parentWindow);
    CameraParameters copy = CopyOfParameters(camera);
    const CameraParameters::ValueTexts cameraValues = copy.Values();
    copy.Load();
    const CameraParameters::ValueTexts startValues = copy.Values();
    CPropertyGeneral page(&camera, copy, sheet);
    sheet.AddPage(&page);
    const bool confirmed = sheet.exec() == QDialog::Accepted;
    page.RethrowFailure();
    if (confirmed) {
      const bool saved = copy.Save();
      {
        // The camera may have been opened, or the host may have set values,
        // while the dialog showed: only what the dialog changed is taken over.
        LockDeferringLog<std::mutex> lock(camera.Settings().Lock());
        camera.Settings().Parameters().TakeEdits(copy, startValues, cameraValues, saved);
      }
      result = true;
    }
    WriteLog(context, kLogInfo, "Camera::Configure: leaving, %s\n", camera.Tag().c_str());
  } catch (const std::exception& error) {
    WriteLog(context, kLogError, "Camera::Configure: ERROR: %s, %s\n", camera.Tag().c_str(), error.what());
  }
  return result;
}

}  // namespace vq
