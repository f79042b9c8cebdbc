#include "ui/CPropertyGridDirectoryPicker.h"

#include <QStringList>

namespace vq {

CPropertyGridDirectoryPicker::CPropertyGridDirectoryPicker(QWidget* parent, const QString& folder)
    : QFileDialog(parent, "Choose a directory", folder) {
  setFileMode(QFileDialog::Directory);
  setOption(QFileDialog::ShowDirsOnly, true);
}

bool CPropertyGridDirectoryPicker::PickDirectory(QWidget* parent, QString& folder) {
  CPropertyGridDirectoryPicker picker(parent, folder);
  if (picker.exec() != QDialog::Accepted) return false;
  const QStringList chosen = picker.selectedFiles();
  if (chosen.isEmpty()) return false;
  folder = chosen.front();
  return true;
}

}  // namespace vq
