#pragma once
// A small dialog put together in code: rows of an optional label and a field,
// above OK and Cancel buttons carrying the texts it is given. The grid's
// multi-line text and date-and-time editors are built with it.
#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QFormLayout;
class QPushButton;

namespace vq {

class CDynDialogEx : public QDialog {
  Q_OBJECT

 public:
  CDynDialogEx(QWidget* parent, const QString& title, const QString& okText, const QString& cancelText);

  // Adds a row; the dialog takes the field.
  void AddRow(const QString& label, QWidget* field);
  void AddRow(QWidget* field);
  QPushButton* OkButton() const { return _ok; }
  QPushButton* CancelButton() const { return _cancel; }

 private:
  QFormLayout* _rows;
  QPushButton* _ok;
  QPushButton* _cancel;
};

}  // namespace vq
