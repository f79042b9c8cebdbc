#pragma once
// The configuration dialog's frame: a property sheet with its pages as tabs,
// OK and Cancel at the right of the pages, and a status bar along the bottom
// that shows why OK is disabled.
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace vq {

class CSheet1 : public QDialog {
  Q_OBJECT

 public:
  // The status bar's control identifier in the original sheet layout.
  static constexpr int kStatusBarId = 101;

  CSheet1(const QString& title, QWidget* parent, int firstPage = 0);

  // Adds a page as a tab captioned with the page's window title. The sheet
  // does not own the page.
  void AddPage(QWidget* page);

  // Enables or disables OK; enabling also clears the status bar.
  void SetOkEnabled(bool enabled);
  bool OkEnabled() const { return _okEnabled; }
  void ClearStatus();
  // "<page caption>: <message>", cut to 255 characters.
  void ShowStatus(QWidget* page, const QString& message);
  QString StatusText() const;

  QPushButton* OkButton() const { return _ok; }
  QPushButton* CancelButton() const { return _cancel; }

 signals:
  // OK was chosen; pages finish their edits now and may still disable OK.
  void AboutToAccept();

 public slots:
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void InitDialog();

  QTabWidget* _pages;
  QPushButton* _ok;
  QPushButton* _cancel;
  QStatusBar* _statusBar = nullptr;
  QLabel* _statusText = nullptr;
  int _firstPage;
  bool _okEnabled = true;
  bool _initialized = false;
};

}  // namespace vq
