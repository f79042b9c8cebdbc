#pragma once
// The parameter set of one camera: its typed, named parameters in creation
// order, an index that finds them by name ignoring case, the constraints that
// keep them consistent, and the camera's identity (whose name is the camera's
// section in the settings file).
//
// The set has no lock of its own; its owner serializes every use. A parameter
// reference taken from the set is valid until the set is assigned to.
#include <map>
#include <string>

#include <boost/ptr_container/ptr_vector.hpp>
#include <boost/range/iterator_range.hpp>

#include "params/CameraIdentity.h"
#include "params/Constraint.h"
#include "params/Param_.h"

// Orders parameter names ignoring ASCII case.
struct ParamNameLess {
  bool operator()(const std::string& left, const std::string& right) const;
};

class CameraParameters {
 public:
  using ParamList = boost::ptr_vector<Param_>;
  using ConstraintList = boost::ptr_vector<Constraint>;

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
  void Load();
  void Save();

 private:
  void CreateDefaults();
  void Swap(CameraParameters& other);

  ParamList _params;
  std::map<std::string, Param_*, ParamNameLess> _index;
  ConstraintList _constraints;
  CameraIdentity _identity;
};
