#include "params/CameraParameters.h"

#include <algorithm>
#include <stdexcept>
#include <typeinfo>
#include <utility>

#include "params/Param.h"

namespace vq {

namespace {

unsigned char LowerAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

bool ParamNameLess::operator()(const std::string& left, const std::string& right) const {
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
    return LowerAscii(static_cast<unsigned char>(a)) < LowerAscii(static_cast<unsigned char>(b));
  });
}

CameraParameters::CameraParameters(const CameraIdentity& identity) : _identity(identity) { CreateDefaults(); }

CameraParameters::CameraParameters(const CameraParameters& other)
    : _identity(other._identity), _hostValues(other._hostValues) {
  // Adding the clones in list order rebuilds the index as it was: for a name
  // that occurs twice, the later parameter wins.
  for (const Param_& param : other._params) AddParam(param.Clone());
  for (const Constraint& constraint : other._constraints) _constraints.push_back(constraint.Clone());
}

CameraParameters& CameraParameters::operator=(const CameraParameters& other) {
  if (this != &other) {
    CameraParameters copy(other);
    Swap(copy);
  }
  return *this;
}

CameraParameters::~CameraParameters() = default;

void CameraParameters::AddParam(Param_* param) {
  _params.push_back(param);
  try {
    _index[param->_name] = param;
  } catch (...) {
    _params.pop_back();
    throw;
  }
}

Param_& CameraParameters::GetParam(const std::string& name) {
  return const_cast<Param_&>(std::as_const(*this).GetParam(name));
}

const Param_& CameraParameters::GetParam(const std::string& name) const {
  const Param_* param = FindParam(name);
  if (param == nullptr) throw std::runtime_error("CameraParameters::GetParam: Parameter '" + name + "' does not exist");
  return *param;
}

Param_* CameraParameters::FindParam(const std::string& name) {
  return const_cast<Param_*>(std::as_const(*this).FindParam(name));
}

const Param_* CameraParameters::FindParam(const std::string& name) const {
  const auto found = _index.find(name);
  return found == _index.end() ? nullptr : found->second;
}

bool CameraParameters::HasParam(const std::string& name) const { return FindParam(name) != nullptr; }

void CameraParameters::AddConstraint(Constraint* constraint) {
  _constraints.push_back(constraint);
  _constraints.back().Attach(*this);
}

boost::iterator_range<CameraParameters::ParamList::iterator> CameraParameters::Params() {
  return boost::make_iterator_range(_params.begin(), _params.end());
}

boost::iterator_range<CameraParameters::ParamList::const_iterator> CameraParameters::Params() const {
  return boost::make_iterator_range(_params.begin(), _params.end());
}

boost::iterator_range<CameraParameters::ConstraintList::const_iterator> CameraParameters::Constraints() const {
  return boost::make_iterator_range(_constraints.begin(), _constraints.end());
}

const CameraIdentity& CameraParameters::Identity() const { return _identity; }

void CameraParameters::CreateDefaults() {
  auto* logLevel = new Param<int>("General", "LogLevel", 1, 0, 4, 0);
  logLevel->_global = true;
  AddParam(logLevel);

  auto* logIntoFile = new Param<bool>("General", "LogIntoFile", false, false, true, false);
  logIntoFile->_global = true;
  logIntoFile->_persistent = false;
  AddParam(logIntoFile);

  auto* debugViewOutput = new Param<int>("General", "DebugViewOutput", 0, 0, 4, 0);
  debugViewOutput->_global = true;
  debugViewOutput->_visible = false;
  AddParam(debugViewOutput);

  AddParam(new Param<bool>("Camera Settings", "Continuous", false, false, true, false));
}

void CameraParameters::Swap(CameraParameters& other) {
  _params.swap(other._params);
  _index.swap(other._index);
  _constraints.swap(other._constraints);
  std::swap(_identity, other._identity);
  _hostValues.swap(other._hostValues);
}

void CameraParameters::KeepHostValue(const std::string& name) {
  Param_& param = GetParam(name);
  _hostValues[param._name] = param.ToString();
}

bool CameraParameters::ForgetHostValues() {
  if (_hostValues.empty()) return false;
  _hostValues.clear();
  return true;
}

CameraParameters::ValueTexts CameraParameters::Values() {
  ValueTexts values;
  for (auto& [name, param] : _index) values.emplace(name, param->ToString());
  return values;
}

void CameraParameters::Restore(const CameraParameters& values, const std::function<bool(const std::string&)>& only) {
  for (const auto& [name, param] : values._index) {
    if (only && !only(name)) continue;
    Param_* own = FindParam(name);
    if (own != nullptr && typeid(*own) == typeid(*param)) own->Assign(*param);
  }
}

void CameraParameters::TakeEdits(CameraParameters& edited, const ValueTexts& editedAtStart, const ValueTexts& ownAtCopy,
                                 bool saved) {
  const auto differs = [](const ValueTexts& values, const std::string& name, const std::string& text) {
    const auto found = values.find(name);
    return found == values.end() || found->second != text;
  };
  for (auto& [name, editedParam] : edited._index) {
    const std::string editedText = editedParam->ToString();
    Param_* own = FindParam(name);
    if (own == nullptr) {
      AddParam(editedParam->Clone());
    } else {
      const bool changedHere = differs(ownAtCopy, name, own->ToString());
      const bool changedInDialog = differs(editedAtStart, name, editedText);
      if (changedHere && !changedInDialog) continue;
      if (typeid(*own) != typeid(*editedParam)) continue;
      own->Assign(*editedParam);
    }
    // The parameter now holds the dialog's value: a value the host set
    // before is either in the file now or replaced by the dialog's.
    const auto host = _hostValues.find(name);
    if (host == _hostValues.end()) continue;
    if (saved && editedParam->_persistent && editedParam->_enabled)
      _hostValues.erase(host);
    else
      host->second = editedText;
  }
}

}  // namespace vq
