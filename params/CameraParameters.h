#pragma once
// The parameter set of one camera: its typed, named parameters in creation
// order, an index that finds them by name ignoring case, the constraints that
// keep them consistent, and the camera's identity (whose name is the camera's
// section in the settings file).
//
// The set has no lock of its own; its owner serializes every use. A parameter
// reference taken from the set is valid until the set is assigned to.
#include <functional>
#include <map>
#include <string>

#include <boost/ptr_container/ptr_vector.hpp>
#include <boost/range/iterator_range.hpp>

#include "params/CameraIdentity.h"
#include "params/Constraint.h"
#include "params/Param_.h"

namespace vq {

// Orders parameter names ignoring ASCII case.
struct ParamNameLess {
  bool operator()(const std::string& left, const std::string& right) const;
};

class CameraParameters {
 public:
  using ParamList = boost::ptr_vector<Param_>;
  using ConstraintList = boost::ptr_vector<Constraint>;
  // Value texts (ToString) by parameter name.
  using ValueTexts = std::map<std::string, std::string, ParamNameLess>;

  // Starts with the driver's own parameters (LogLevel, LogIntoFile,
  // DebugViewOutput, Continuous).
  explicit CameraParameters(const CameraIdentity& identity);
  // Deep copies: parameters and constraints are cloned, the index finds the clones.
  CameraParameters(const CameraParameters& other);
  CameraParameters& operator=(const CameraParameters& other);
  ~CameraParameters();

  // Takes ownership (also when it throws). A null parameter throws
  // boost::bad_pointer "Null pointer in 'push_back()'". A parameter whose name
  // exists already is kept as well; the index then finds the newer one.
  void AddParam(Param_* param);
  // Throws std::runtime_error when no parameter has that name.
  Param_& GetParam(const std::string& name);
  const Param_& GetParam(const std::string& name) const;
  // nullptr when no parameter has that name.
  Param_* FindParam(const std::string& name);
  const Param_* FindParam(const std::string& name) const;
  bool HasParam(const std::string& name) const;
  // Takes ownership, then attaches the constraint to this set.
  void AddConstraint(Constraint* constraint);
  // Applies every constraint in order; a constraint that throws is logged
  // and ends the pass.
  void ApplyConstraints();
  // Applies every constraint, then checks every parameter in force against
  // its range (and a Param<int> against its step). False, with `errorText`
  // naming the first parameter that fails; `errorText` is untouched on success.
  bool Validate(std::string& errorText);

  // Every parameter in creation order: the order of saving, loading,
  // validation and of the dialog.
  boost::iterator_range<ParamList::iterator> Params();
  boost::iterator_range<ParamList::const_iterator> Params() const;
  // The constraints in the order they are applied.
  boost::iterator_range<ConstraintList::const_iterator> Constraints() const;
  const CameraIdentity& Identity() const;

  // The settings file <system path>/VorquellCamera.ini, for every parameter
  // that is persistent and enabled: global ones in the section "General",
  // the others in the section named after the camera. Load reads the file
  // once; a missing key leaves the value as it is, and values of "General"
  // are clamped into their ranges. Save writes all of them in one replacement
  // of the file and logs a failure. Without a system path neither touches
  // the file system.
  // Load then puts back the values the host set (see KeepHostValue). Save
  // returns false when nothing could be written.
  void Load();
  bool Save();

  // Remembers the current value of the named parameter as one the host set
  // through its property commands. Until a settings file holding it is
  // written (see TakeEdits), every Load puts it back: it wins over the file
  // and, in the open sequence, over what the camera reported, so it reaches
  // the camera at the next open.
  void KeepHostValue(const std::string& name);
  // Forgets every value kept for the host; false when there was none.
  bool ForgetHostValues();
  // The value text of every parameter.
  ValueTexts Values();
  // Takes over what the configuration dialog changed in `edited`, a copy of
  // this set: `ownAtCopy` are this set's values when the copy was made,
  // `editedAtStart` the copy's values when the dialog showed them, and
  // `saved` tells whether the copy has been written to the settings file.
  // A parameter of the copy replaces this set's unless this set changed it
  // meanwhile and the dialog did not; parameters only this set has stay,
  // parameters only the copy has are added. The caller holds the lock of both.
  void TakeEdits(CameraParameters& edited, const ValueTexts& editedAtStart, const ValueTexts& ownAtCopy, bool saved);
  // Takes over the value of every parameter `values` has and this set has
  // with the same type (only those `only` accepts, if given): a reopened
  // camera gets back what was in effect.
  void Restore(const CameraParameters& values, const std::function<bool(const std::string&)>& only = {});

 private:
  void CreateDefaults();
  void Swap(CameraParameters& other);

  ParamList _params;
  std::map<std::string, Param_*, ParamNameLess> _index;
  ConstraintList _constraints;
  CameraIdentity _identity;
  // Values the host set that no settings file written since holds.
  ValueTexts _hostValues;
};

}  // namespace vq
