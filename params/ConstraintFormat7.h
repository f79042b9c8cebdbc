#pragma once
// Brings the Format7 parameters in line with the limits of the selected
// "Fmt7Mode": the maxima of the region, the range of the packet size and the
// pixel formats on offer. The selected pixel format stays when still offered.
#include "params/Constraint.h"

class Camera;

class ConstraintFormat7 : public Constraint {
 public:
  // The camera whose Format7 descriptions are consulted; it outlives the
  // constraint and every clone of it.
  explicit ConstraintFormat7(const Camera& camera);

  // Throws GetParam's std::runtime_error when a parameter is absent, and
  // Camera::GetFormat7Info's when the camera lacks the selected mode.
  void Apply(CameraParameters& params) override;
  ConstraintFormat7* Clone() const override;

 private:
  const Camera& _camera;
};
