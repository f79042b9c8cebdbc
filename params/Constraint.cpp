#include "params/Constraint.h"

namespace vq {

Constraint::~Constraint() = default;

void Constraint::Attach(CameraParameters&) {}

}  // namespace vq
