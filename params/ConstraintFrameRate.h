#pragma once
// Keeps the options of "DCAMFrameRate" in line with the selected
// "DCAMVideoMode": the frame rates the camera offers in that mode, or the one
// option "FORMAT7" in Format7. The selected rate stays when it is still offered.
#include "params/Constraint.h"

class Camera;

class ConstraintFrameRate : public Constraint {
 public:
  // The camera whose frame-rate lists are consulted; it outlives the
  // constraint and every clone of it.
  explicit ConstraintFrameRate(const Camera& camera);

  // Throws GetParam's std::runtime_error when either parameter is absent.
  void Apply(CameraParameters& params) override;
  ConstraintFrameRate* Clone() const override;

 private:
  const Camera& _camera;
};
