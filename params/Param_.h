#pragma once
// The base of every named setting of a camera or of the driver. The flags
// decide where the setting is shown and stored and whether it is in force;
// the typed value lives in Param<T>.
#include <iosfwd>
#include <map>
#include <string>

#include <boost/any.hpp>

namespace vq {

class Param_ {
 public:
  Param_(const std::string& group, const std::string& name, bool enabled);
  virtual ~Param_();

  // Copies every field of `other`, which must be of this parameter's own type
  // (std::bad_cast otherwise). The base copies the base fields.
  virtual Param_& Assign(const Param_& other);
  // Sets the value from text; with `clamp` the value is then brought into
  // [min, max]. Never fails: text that does not parse gives 0.
  virtual void FromString(const std::string& text, bool clamp) = 0;
  // The value as text, kept in the parameter; valid until the next call.
  virtual const char* ToString() = 0;
  virtual bool IsValid() const = 0;
  // name=value and a line end, in the stream's current formatting.
  virtual void Print(std::ostream& out) const = 0;
  // [min..max]
  virtual void PrintRange(std::ostream& out) const = 0;
  // A new parameter of the same type with every field copied; the caller owns it.
  virtual Param_* Clone() const = 0;

  // The named option as text. Throws std::out_of_range when the parameter has
  // no such option, boost::bad_any_cast when the option's value has no text form.
  std::string GetOption(const std::string& option) const;

  std::string _name;
  std::string _group;
  // In force: a disabled parameter is not validated, saved or loaded.
  bool _enabled;
  // Stored in the "General" section shared by all cameras.
  bool _global = false;
  bool _persistent = true;
  bool _visible = true;
  std::string _description;
  std::map<std::string, boost::any> _options;

 protected:
  Param_(const Param_&) = default;
  Param_& operator=(const Param_&) = default;
};

// Lets pointer containers copy parameters through Clone.
inline Param_* new_clone(const Param_& param) { return param.Clone(); }

}  // namespace vq
