#include "ui/PropertyControlAdapter.h"

#include <stdexcept>

namespace vq {

PropertyControlAdapter::~PropertyControlAdapter() = default;

QString PropertyControlAdapter::NameOf(const Param_& param) { return QString::fromStdString(param._name); }

QString PropertyControlAdapter::FormatOf(const Param_& param) {
  if (param._options.find("Format") == param._options.end()) return QString();
  return QString::fromStdString(param.GetOption("Format"));
}

void PropertyControlAdapter::CheckSet(bool done, const Param_& param) {
  if (!done) throw std::runtime_error("Failed to set control '" + param._name + "' value");
}

void PropertyControlAdapter::CheckGet(bool done, const Param_& param) {
  if (!done) throw std::runtime_error("Failed to get control '" + param._name + "' value");
}

}  // namespace vq
