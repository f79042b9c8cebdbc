#pragma once
// Keeps the options of "DCAMFrameRate" in line with the selected
// "DCAMVideoMode": the frame rates the camera offers in that mode, or the one
// option "FORMAT7" in Format7. The selected rate stays when it is still offered.
#include "params/Constraint.h"

namespace vq {

struct CameraModes;

class ConstraintFrameRate : public Constraint {
 public:
  // The camera's modes whose frame-rate lists are consulted; they outlive
  // the constraint and every clone of it.
  explicit ConstraintFrameRate(const CameraModes& modes);

  // Throws GetParam's std::runtime_error when either parameter is absent.
  void Apply(CameraParameters& params) override;
  ConstraintFrameRate* Clone() const override;

 private:
  const CameraModes& _modes;
};

}  // namespace vq
