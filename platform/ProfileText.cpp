#include "platform/ProfileText.h"

#include <algorithm>

namespace vq {

namespace {

constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view Blanks = " \t";

std::string_view TrimLeft(std::string_view text) {
  const size_t first = text.find_first_not_of(Blanks);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  return text.substr(0, text.find_last_not_of(Blanks) + 1);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view left, std::string_view right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

enum class LineKind { Blank, Comment, Section, Entry, Other };

struct LineInfo {
  LineKind kind;
  std::string_view name;  // section or key name, trimmed
  size_t valueStart = 0;  // Entry: index of the first character after "="
};

// The "]" that closes a section header: the first one followed by nothing but
// blanks or by a comment, so that a camera name holding a "]" still finds its
// own section and "[General] ; see [x]" is the section General. Without
// such a "]", the last one on the line.
size_t HeaderClose(std::string_view content) {
  for (size_t close = content.find(']'); close != std::string_view::npos; close = content.find(']', close + 1)) {
    const std::string_view rest = TrimLeft(content.substr(close + 1));
    if (rest.empty() || rest.front() == ';' || rest.front() == '#') return close;
  }
  return content.rfind(']');
}

LineInfo Classify(std::string_view text) {
  const std::string_view content = TrimLeft(text);
  if (content.empty()) return {LineKind::Blank, {}};
  if (content.front() == ';' || content.front() == '#') return {LineKind::Comment, {}};
  if (content.front() == '[') {
    const size_t close = HeaderClose(content);
    if (close == std::string_view::npos) return {LineKind::Other, {}};
    return {LineKind::Section, Trim(content.substr(1, close - 1))};
  }
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) return {LineKind::Other, {}};
  const std::string_view key = Trim(text.substr(0, equals));
  if (key.empty()) return {LineKind::Other, {}};
  return {LineKind::Entry, key, equals + 1};
}

}  // namespace

ProfileText::ProfileText(std::string_view content) {
  if (content.starts_with(Utf8ByteOrderMark)) {
    _byteOrderMark = Utf8ByteOrderMark;
    content.remove_prefix(Utf8ByteOrderMark.size());
  }
  while (!content.empty()) {
    const size_t newline = content.find('\n');
    if (newline == std::string_view::npos) {
      _lines.push_back({std::string(content), ""});
      break;
    }
    const bool crlf = newline > 0 && content[newline - 1] == '\r';
    const size_t textLength = crlf ? newline - 1 : newline;
    _lines.push_back({std::string(content.substr(0, textLength)), crlf ? "\r\n" : "\n"});
    content.remove_prefix(newline + 1);
  }
}

std::string ProfileText::Text() const {
  std::string text = _byteOrderMark;
  for (const Line& line : _lines) text += line.text + line.end;
  return text;
}

std::optional<std::string> ProfileText::Find(std::string_view section, std::string_view key) const {
  const size_t header = FindSection(section);
  if (header == std::string::npos) return std::nullopt;
  key = Trim(key);
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    const LineInfo info = Classify(_lines[i].text);
    if (info.kind == LineKind::Entry && EqualIgnoringCase(info.name, key)) {
      // The value a C reader sees ends at the first NUL or carriage return
      // (a stray one inside a hand-edited line, too); it is trimmed there, so
      // that what is written back is writable and reads back the same.
      std::string_view value = std::string_view(_lines[i].text).substr(info.valueStart);
      return std::string(Trim(value.substr(0, value.find_first_of(std::string_view("\0\r", 2)))));
    }
  }
  return std::nullopt;
}

void ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  const std::string entry = std::string(key) + "=" + std::string(value);
  const size_t header = FindSection(section);
  if (header == std::string::npos) {
    if (!_lines.empty() && Classify(_lines.back().text).kind != LineKind::Blank) InsertLine(_lines.size(), "");
    InsertLine(_lines.size(), "[" + std::string(section) + "]");
    InsertLine(_lines.size(), entry);
    return;
  }
  const size_t end = SectionEnd(header);
  size_t lastContent = header;
  for (size_t i = header + 1; i < end; ++i) {
    std::string& text = _lines[i].text;
    const LineInfo info = Classify(text);
    if (info.kind == LineKind::Entry && EqualIgnoringCase(info.name, key)) {
      // Keep everything up to the old value: indentation, spelling, blanks around "=".
      const size_t valueStart = text.find_first_not_of(Blanks, info.valueStart);
      text.resize(valueStart == std::string::npos ? text.size() : valueStart);
      text += value;
      return;
    }
    if (info.kind == LineKind::Entry || info.kind == LineKind::Other) lastContent = i;
  }
  // After the section's last entry, so that comments and blank lines that lead
  // into the next section stay with it.
  InsertLine(lastContent + 1, entry);
}

bool ProfileText::IsWritableSection(std::string_view section) {
  return !Trim(section).empty() && !HasLineBreakOrNul(section);
}

bool ProfileText::IsWritableKey(std::string_view key) {
  const std::string_view name = Trim(key);
  return !name.empty() && !HasLineBreakOrNul(key) && key.find('=') == std::string_view::npos && name.front() != '[' &&
         name.front() != ';' && name.front() != '#';
}

bool ProfileText::IsWritableValue(std::string_view value) { return !HasLineBreakOrNul(value); }

size_t ProfileText::FindSection(std::string_view section) const {
  section = Trim(section);
  for (size_t i = 0; i < _lines.size(); ++i) {
    const LineInfo info = Classify(_lines[i].text);
    if (info.kind == LineKind::Section && EqualIgnoringCase(info.name, section)) return i;
  }
  return std::string::npos;
}

size_t ProfileText::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < _lines.size() && Classify(_lines[i].text).kind != LineKind::Section) ++i;
  return i;
}

std::string ProfileText::NewLineEnd() const {
  for (const Line& line : _lines)
    if (!line.end.empty()) return line.end;
  return "\n";
}

void ProfileText::InsertLine(size_t at, std::string text) {
  const std::string end = NewLineEnd();
  // A last line without a line ending gets one before anything follows it.
  if (at > 0 && _lines[at - 1].end.empty()) _lines[at - 1].end = end;
  _lines.insert(_lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), end});
}

}  // namespace vq
