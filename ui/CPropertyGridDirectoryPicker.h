#pragma once
// The folder browser of the grid's folder items.
#include <QFileDialog>
#include <QString>

namespace vq {

class CPropertyGridDirectoryPicker : public QFileDialog {
  Q_OBJECT

 public:
  // Titled "Choose a directory", starting in `folder`.
  CPropertyGridDirectoryPicker(QWidget* parent, const QString& folder);

  // Runs the browser; true with the chosen folder in `folder` when one was chosen.
  static bool PickDirectory(QWidget* parent, QString& folder);
};

}  // namespace vq
