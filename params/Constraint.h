#pragma once

namespace vq {

// A dependency between parameters of one set: applying it brings the set in
// line (switches parameters in or out of force, narrows ranges, rebuilds option
// lists). The set owns its constraints and applies them in the order added.

class CameraParameters;

class Constraint {
 public:
  virtual ~Constraint();

  // Called by the owning set once the constraint is stored.
  virtual void Attach(CameraParameters& params);
  // Changes parameters of `params`; may throw standard exceptions.
  virtual void Apply(CameraParameters& params) = 0;
  // A new constraint of the same class with the same members; the caller owns it.
  virtual Constraint* Clone() const = 0;

 protected:
  Constraint() = default;
  Constraint(const Constraint&) = default;
  Constraint& operator=(const Constraint&) = default;
};

// Lets pointer containers copy constraints through Clone.
inline Constraint* new_clone(const Constraint& constraint) { return constraint.Clone(); }

}  // namespace vq
