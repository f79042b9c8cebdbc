#pragma once
// The dialog group of each parameter the feature mapping creates, by name.
#include <cstddef>
#include <string>

namespace vq {

struct ParamGroupRow {
  const char* name;
  const char* group;
};

// 94 named rows followed by a row of nulls.
inline constexpr size_t ParamGroupTableSize = 95;
extern const ParamGroupRow ParamGroupTable[ParamGroupTableSize];

// The group of the first row named exactly `name` (case-sensitive), "Camera"
// when no row is.
const char* LookupParamGroup(const std::string& name);

}  // namespace vq
