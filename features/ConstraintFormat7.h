#pragma once
// Brings the Format7 parameters in line with the limits of the selected
// "Fmt7Mode": the maxima of the region, the range of the packet size and the
// pixel formats on offer. The selected pixel format stays when still offered.
#include "params/Constraint.h"

namespace vq {

struct CameraModes;

class ConstraintFormat7 : public Constraint {
 public:
  // The camera's modes whose Format7 descriptions are consulted; they
  // outlive the constraint and every clone of it.
  explicit ConstraintFormat7(const CameraModes& modes);

  // Throws GetParam's std::runtime_error when a parameter is absent, and
  // CameraModes::Format7Info's when the camera lacks the selected mode.
  void Apply(CameraParameters& params) override;
  ConstraintFormat7* Clone() const override;

 private:
  const CameraModes& _modes;
};

}  // namespace vq
