#include "tools/cvlhost/JsonReport.h"

#include <regex>

nlohmann::json DriverStatisticsJson(const std::string& line) {
  static const std::regex pattern(
      R"(Camera STATS: GrabCnt:(\d+) OvrwCnt:(\d+) \(N/mean/max\)-> Grab:(\S+) Cycle:(\S+) GetRows:(\S+) CB:([^,\s]+))");
  static const std::regex timing(R"((\d+)/(-?[0-9.]+)/(-?[0-9.]+))");
  std::smatch match;
  if (!std::regex_search(line, match, pattern)) return nullptr;
  auto timingJson = [](const std::string& text) -> nlohmann::json {
    std::smatch parts;
    if (!std::regex_match(text, parts, timing)) return nullptr;
    return {{"count", std::stoll(parts[1])}, {"meanMs", std::stod(parts[2])}, {"maxMs", std::stod(parts[3])}};
  };
  return {{"grabCount", std::stoll(match[1])}, {"overwriteCount", std::stoll(match[2])},
          {"grab", timingJson(match[3])},      {"cycle", timingJson(match[4])},
          {"getRows", timingJson(match[5])},   {"callback", timingJson(match[6])}};
}
