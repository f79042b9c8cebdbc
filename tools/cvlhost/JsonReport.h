#pragma once
// What `cvlhost --json` prints: one JSON document on standard output per
// command, so that scripts need not parse the prose.
#include <nlohmann/json.hpp>
#include <string>

// The driver's statistics line, "Camera STATS: GrabCnt:N OvrwCnt:N
// (N/mean/max)-> Grab:n/m/x Cycle:n/m/x GetRows:n/m/x CB:n/m/x, <camera>", as
// {"grabCount", "overwriteCount", "grab", "cycle", "getRows", "callback"},
// each timing {"count", "meanMs", "maxMs"}; null when the line is not one.
nlohmann::json DriverStatisticsJson(const std::string& line);
