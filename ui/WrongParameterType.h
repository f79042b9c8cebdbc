#pragma once
// The bad-cast of the dialog's typed parameter access, naming the parameter:
// "Wrong parameter '<name>' type".
#include <string>
#include <typeinfo>

namespace vq {

class WrongParameterType : public std::bad_cast {
 public:
  explicit WrongParameterType(const std::string& name);
  const char* what() const noexcept override;

 private:
  std::string _text;
};

}  // namespace vq
