#include "params/Param_.h"

#include <cstdint>
#include <locale>
#include <sstream>
#include <stdexcept>

#include <boost/format.hpp>

namespace vq {

namespace {

template <class T>
bool FormatAs(const boost::any& value, std::string& text) {
  const T* typed = boost::any_cast<T>(&value);
  if (typed == nullptr) return false;
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(17);
  out << *typed;
  text = out.str();
  return true;
}

std::string OptionText(const boost::any& value) {
  if (const auto* text = boost::any_cast<std::string>(&value)) return *text;
  if (const auto* text = boost::any_cast<const char*>(&value)) return *text != nullptr ? *text : "";
  std::string text;
  if (FormatAs<int>(value, text) || FormatAs<unsigned>(value, text) || FormatAs<int64_t>(value, text) ||
      FormatAs<uint64_t>(value, text) || FormatAs<bool>(value, text) || FormatAs<float>(value, text) ||
      FormatAs<double>(value, text)) {
    return text;
  }
  throw boost::bad_any_cast();
}

}  // namespace

Param_::Param_(const std::string& group, const std::string& name, bool enabled)
    : _name(name), _group(group), _enabled(enabled) {}

Param_::~Param_() = default;

Param_& Param_::Assign(const Param_& other) {
  *this = other;
  return *this;
}

std::string Param_::GetOption(const std::string& option) const {
  const auto found = _options.find(option);
  if (found == _options.end()) {
    throw std::out_of_range((boost::format("Parameter %s doesn't have option %s") % _name % option).str());
  }
  return OptionText(found->second);
}

}  // namespace vq
