#pragma once
// The configuration dialog's one page, "General": every visible parameter of
// the set being edited, in a property grid under a section per group, with
// the selected parameter's name, range and description below. Every edit is
// read back into the set, the whole set is validated, OK follows the result
// and the reason shows in the sheet's status bar.
//
// An exception while the page is built leaves the constructor. One raised
// while the dialog runs closes the sheet (as Cancel) and is raised again by
// RethrowFailure once the modal run is over.
#include <QWidget>
#include <exception>
#include <map>
#include <memory>
#include <string>

#include "params/CameraParameters.h"
#include "ui/CPropertyGrid.h"
#include "ui/PropertyControlAdapter.h"

class QFrame;
class QLabel;

namespace vq {

class Camera;
class CSheet1;

class CPropertyGeneral : public QWidget {
  Q_OBJECT

 public:
  // Identifiers of the page's controls in its dialog template.
  static constexpr int kGridId = 1000;
  static constexpr int kFrameId = 1001;
  static constexpr int kDescriptionId = 1002;
  static constexpr int kNameId = 1003;

  // `camera` may be null; `parameters` and `sheet` outlive the page.
  CPropertyGeneral(Camera* camera, CameraParameters& parameters, CSheet1& sheet);

  // The adapter for the parameter's exact dynamic type; std::runtime_error
  // "CPropertyGeneral::LookupAdapter: Unsupported parameter '<name>' type"
  // for any other type.
  static std::shared_ptr<PropertyControlAdapter> LookupAdapter(const Param_& param);

  // Raises the exception that closed the dialog, if one did.
  void RethrowFailure() const;

  CPropertyGrid& Grid() { return *_grid; }
  QString NameText() const;
  QString DescriptionText() const;
  // The grid item showing the parameter; CPropertyGrid::kNone when none does.
  HITEM ItemOf(const std::string& name) const;

  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void InitDialog();
  HSECTION SectionFor(const std::string& group);
  void OnGridNotify(int message, int item);
  void OnItemChanged(HITEM item);
  void OnSelChanged(HITEM item);
  void RememberSelection(const std::string& name);
  void Fail();

  Camera* _camera;
  CameraParameters& _parameters;
  CSheet1& _sheet;
  CPropertyGrid* _grid;
  QFrame* _frame;
  QLabel* _nameLabel;
  QLabel* _descriptionLabel;
  std::map<HITEM, std::string> _itemNames;
  std::map<std::string, HSECTION> _sections;
  std::exception_ptr _failure;
};

}  // namespace vq
