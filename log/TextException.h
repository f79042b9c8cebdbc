#pragma once
#include <stdexcept>

namespace vq {

// The plain text exception of lookups that find nothing ("Err"); it travels
// to the entry point's catch-all.
class TextException : public std::runtime_error {
 public:
  explicit TextException(const char* text = "Err") : std::runtime_error(text) {}
};

}  // namespace vq
