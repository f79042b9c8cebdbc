#include "ui/CDynDialogEx.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace vq {

CDynDialogEx::CDynDialogEx(QWidget* parent, const QString& title, const QString& okText, const QString& cancelText)
    : QDialog(parent) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  _rows = new QFormLayout;
  layout->addLayout(_rows);
  auto* buttons = new QDialogButtonBox(this);
  _ok = buttons->addButton(okText, QDialogButtonBox::AcceptRole);
  _cancel = buttons->addButton(cancelText, QDialogButtonBox::RejectRole);
  _ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void CDynDialogEx::AddRow(const QString& label, QWidget* field) { _rows->addRow(label, field); }

void CDynDialogEx::AddRow(QWidget* field) { _rows->addRow(field); }

}  // namespace vq
