#include "params/ValueText.h"

#include <limits>
#include <locale>
#include <sstream>

namespace vq {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(const std::string& text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

size_t SkipSign(const std::string& text, size_t pos) {
  return pos < text.size() && (text[pos] == '+' || text[pos] == '-') ? pos + 1 : pos;
}

// Returns the position after the digits starting at `pos`; counts them into `digits`.
size_t SkipDigits(const std::string& text, size_t pos, size_t& digits) {
  while (pos < text.size() && IsDigit(text[pos])) {
    ++pos;
    ++digits;
  }
  return pos;
}

}  // namespace

int64_t ParseDecimalInteger(const std::string& text) {
  size_t pos = SkipBlanks(text, 0);
  const bool negative = pos < text.size() && text[pos] == '-';
  pos = SkipSign(text, pos);

  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    const unsigned digit = static_cast<unsigned>(text[pos] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return static_cast<int64_t>(magnitude);
  return magnitude == limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
}

float ParseDecimalFloat(const std::string& text) {
  const size_t start = SkipBlanks(text, 0);
  size_t digits = 0;
  size_t end = SkipDigits(text, SkipSign(text, start), digits);
  if (end < text.size() && text[end] == '.') end = SkipDigits(text, end + 1, digits);
  if (digits == 0) return 0.0f;

  // An exponent counts only when it has digits: "1e" reads as 1.
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t exponentDigits = 0;
    const size_t exponentEnd = SkipDigits(text, SkipSign(text, end + 1), exponentDigits);
    if (exponentDigits > 0) end = exponentEnd;
  }

  // The stream yields the largest float of the right sign on overflow.
  std::istringstream in(text.substr(start, end - start));
  in.imbue(std::locale::classic());
  float value = 0.0f;
  in >> value;
  return value;
}

}  // namespace vq
