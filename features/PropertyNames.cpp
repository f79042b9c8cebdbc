#include "features/PropertyNames.h"

#include <map>

namespace vq {

std::string TranslatePropertyName(const std::string& hostName) {
  static const std::map<std::string, std::string> aliases = {{"Exposure", "AutoExposure"}};
  auto alias = aliases.find(hostName);
  return alias == aliases.end() ? hostName : alias->second;
}

}  // namespace vq
