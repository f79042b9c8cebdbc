#include "params/Constraint.h"

Constraint::~Constraint() = default;

void Constraint::Attach(CameraParameters&) {}
