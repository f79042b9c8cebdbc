#include "ui/WrongParameterType.h"

namespace vq {

WrongParameterType::WrongParameterType(const std::string& name) : _text("Wrong parameter '" + name + "' type") {}

const char* WrongParameterType::what() const noexcept { return _text.c_str(); }

}  // namespace vq
