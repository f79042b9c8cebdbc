#include "ui/CPropertyGeneral.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <typeindex>
#include <vector>

#include <boost/format.hpp>

#include "params/Param.h"
#include "params/ParamEnum.h"
#include "ui/CSheet1.h"
#include "ui/PropertyControlAdapterBool.h"
#include "ui/PropertyControlAdapterEnum.h"
#include "ui/PropertyControlAdapterFloat.h"
#include "ui/PropertyControlAdapterInt.h"
#include "ui/PropertyControlAdapterString.h"

namespace vq {

namespace {

constexpr const char* kLastFocusedItemName = "LastFocusedItemName";

// The page's dialog template, in dialog units: its size and its controls.
constexpr QSize kTemplateSize(233, 259);
constexpr QRect kGridRect(3, 3, 225, 223);
constexpr QRect kFrameRect(3, 229, 225, 26);
constexpr QRect kNameRect(10, 232, 218, 9);
constexpr QRect kDescriptionRect(10, 242, 218, 9);

struct AdapterRow {
  std::type_index type;
  std::shared_ptr<PropertyControlAdapter> adapter;
};

// Built on the first lookup and kept until the module unloads.
const std::vector<AdapterRow>& AdapterTable() {
  static const std::vector<AdapterRow> table{
      {typeid(Param<bool>), std::make_shared<PropertyControlAdapterBool>()},
      {typeid(Param<int>), std::make_shared<PropertyControlAdapterInt<int>>()},
      {typeid(Param<unsigned>), std::make_shared<PropertyControlAdapterInt<unsigned>>()},
      {typeid(Param<int64_t>), std::make_shared<PropertyControlAdapterInt<int64_t>>()},
      {typeid(Param<float>), std::make_shared<PropertyControlAdapterFloat>()},
      {typeid(Param<std::string>), std::make_shared<PropertyControlAdapterString>()},
      {typeid(ParamEnum), std::make_shared<PropertyControlAdapterEnum>()},
  };
  return table;
}

bool ShowsRange(const Param_& param) {
  return dynamic_cast<const Param<int>*>(&param) || dynamic_cast<const Param<unsigned>*>(&param) ||
         dynamic_cast<const Param<int64_t>*>(&param) || dynamic_cast<const Param<float>*>(&param);
}

// A rectangle of the template scaled to the page's present size.
QRect Scaled(const QRect& units, const QSize& page) {
  auto x = [&](int unit) { return unit * page.width() / kTemplateSize.width(); };
  auto y = [&](int unit) { return unit * page.height() / kTemplateSize.height(); };
  return QRect(QPoint(x(units.left()), y(units.top())), QPoint(x(units.right() + 1) - 1, y(units.bottom() + 1) - 1));
}

}  // namespace

std::shared_ptr<PropertyControlAdapter> CPropertyGeneral::LookupAdapter(const Param_& param) {
  for (const AdapterRow& row : AdapterTable())
    if (row.type == typeid(param)) return row.adapter;
  throw std::runtime_error(
      (boost::format("CPropertyGeneral::LookupAdapter: Unsupported parameter '%s' type") % param._name).str());
}

CPropertyGeneral::CPropertyGeneral(Camera* camera, CameraParameters& parameters, CSheet1& sheet)
    : QWidget(nullptr), _camera(camera), _parameters(parameters), _sheet(sheet) {
  setWindowTitle("General");
  _frame = new QFrame(this);
  _frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  _nameLabel = new QLabel("(Name)", this);
  _descriptionLabel = new QLabel("(Description)", this);
  _grid = new CPropertyGrid(this);
  _grid->setObjectName(QString("Control%1").arg(kGridId));
  _frame->setObjectName(QString("Control%1").arg(kFrameId));
  _nameLabel->setObjectName(QString("Control%1").arg(kNameId));
  _descriptionLabel->setObjectName(QString("Control%1").arg(kDescriptionId));
  setFocusProxy(_grid);
  connect(_grid, &CPropertyGrid::Notify, this, &CPropertyGeneral::OnGridNotify);
  connect(&_sheet, &CSheet1::AboutToAccept, this, [this] {
    try {
      _grid->EndEditing();
    } catch (...) {
      Fail();
    }
  });
  resize(sizeHint());
  InitDialog();
  RethrowFailure();
}

QSize CPropertyGeneral::sizeHint() const {
  // Dialog units: a quarter of the average character width, an eighth of the
  // character height.
  const QFontMetrics metrics(font());
  const int averageWidth =
      (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
  return QSize(kTemplateSize.width() * averageWidth / 4, kTemplateSize.height() * metrics.height() / 8);
}

void CPropertyGeneral::resizeEvent(QResizeEvent*) {
  _grid->setGeometry(Scaled(kGridRect, size()));
  _frame->setGeometry(Scaled(kFrameRect, size()));
  _nameLabel->setGeometry(Scaled(kNameRect, size()));
  _descriptionLabel->setGeometry(Scaled(kDescriptionRect, size()));
}

void CPropertyGeneral::InitDialog() {
  std::string toSelect;
  if (const auto* last = dynamic_cast<const Param<std::string>*>(_parameters.FindParam(kLastFocusedItemName)))
    toSelect = last->_value;

  for (const Param_& param : _parameters.Params()) {
    if (!param._visible) continue;
    const HSECTION section = SectionFor(param._group);
    const HITEM item = LookupAdapter(param)->CreateControl(param, *_grid, section);
    _itemNames[item] = param._name;
    if (param._name == toSelect) _grid->SelectItem(item);
  }
  // The labels start empty, also when an item was selected above.
  OnSelChanged(CPropertyGrid::kNone);
}

HSECTION CPropertyGeneral::SectionFor(const std::string& group) {
  const auto found = _sections.find(group);
  if (found != _sections.end()) return found->second;
  const HSECTION section = _grid->AddSection(QString::fromStdString(group));
  _sections[group] = section;
  return section;
}

void CPropertyGeneral::OnGridNotify(int message, int item) {
  // Nothing may leave a slot into Qt's event handling: a failure ends the
  // dialog and is raised again after the modal run.
  try {
    if (message == WM_PG_ITEMCHANGED) OnItemChanged(item);
    if (message == WM_PG_SELCHANGED) OnSelChanged(item);
  } catch (...) {
    Fail();
  }
}

void CPropertyGeneral::OnItemChanged(HITEM item) {
  const auto found = _itemNames.find(item);
  if (found == _itemNames.end()) return;
  if (Param_* param = _parameters.FindParam(found->second)) LookupAdapter(*param)->GetControl(*param, *_grid, item);

  std::string message;
  const bool valid = _parameters.Validate(message);
  _sheet.SetOkEnabled(valid);
  if (valid)
    _sheet.ClearStatus();
  else
    _sheet.ShowStatus(this, QString::fromStdString(message));

  // Constraints switch parameters in and out of force and rebuild option lists.
  for (const auto& [handle, name] : _itemNames) {
    const Param_* param = _parameters.FindParam(name);
    if (!param) continue;
    _grid->EnableItem(handle, param->_enabled);
    if (dynamic_cast<const ParamEnum*>(param)) LookupAdapter(*param)->SetControl(*param, *_grid, handle);
  }
}

void CPropertyGeneral::OnSelChanged(HITEM item) {
  const auto found = _itemNames.find(item);
  const Param_* param = found == _itemNames.end() ? nullptr : _parameters.FindParam(found->second);
  if (!param) {
    _nameLabel->clear();
    _descriptionLabel->clear();
    return;
  }
  std::ostringstream name;
  name << param->_name;
  if (param->_enabled && ShowsRange(*param)) {
    name << " ";
    param->PrintRange(name);
  }
  _nameLabel->setText(QString::fromStdString(name.str()));
  _descriptionLabel->setText(QString::fromStdString(param->_description));
  RememberSelection(param->_name);
}

// The last selected parameter is kept in the set itself; it reaches the
// camera's set with OK and is selected again by the next dialog.
void CPropertyGeneral::RememberSelection(const std::string& name) {
  Param_* existing = _parameters.FindParam(kLastFocusedItemName);
  if (existing) {
    if (auto* last = dynamic_cast<Param<std::string>*>(existing)) last->_value = name;
    return;
  }
  auto* last = new Param<std::string>("Internal", kLastFocusedItemName, name);
  last->_enabled = false;
  last->_global = true;
  last->_persistent = false;
  last->_visible = false;
  _parameters.AddParam(last);
}

void CPropertyGeneral::Fail() {
  if (!_failure) _failure = std::current_exception();
  _sheet.reject();
}

void CPropertyGeneral::RethrowFailure() const {
  if (_failure) std::rethrow_exception(_failure);
}

QString CPropertyGeneral::NameText() const { return _nameLabel->text(); }

QString CPropertyGeneral::DescriptionText() const { return _descriptionLabel->text(); }

HITEM CPropertyGeneral::ItemOf(const std::string& name) const {
  for (const auto& [handle, itemName] : _itemNames)
    if (itemName == name) return handle;
  return CPropertyGrid::kNone;
}

}  // namespace vq
