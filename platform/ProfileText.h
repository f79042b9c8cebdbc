#pragma once
// The text of an INI file held line by line, byte for byte, so that changing
// one value leaves every other line as it was: comments (";" or "#"), blank
// lines, odd spacing, unknown sections and keys, lines that are none of these,
// and each line's own line ending (LF or CRLF).
//
// Sections and keys match ignoring ASCII case and the blanks around them; the
// first section of a name and the first key of a name within it count, later
// duplicates are kept but ignored. Lines before the first section belong to
// none.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(std::string_view content);

  // The whole file as it would be written.
  std::string Text() const;

  // The value of `key` in `section`, without the blanks around it; nullopt
  // when the section or the key is absent.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Replaces the value of an existing key in place (the key's spelling and
  // the spacing before the value stay), or appends the key after the last
  // entry of its section, or appends the section with the key at the end of
  // the file. The names and the value must be writable (below).
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // What can be written without breaking the line structure: names that are
  // not blank, nothing with a line break or a NUL, a key without "=" that does
  // not start like a section or a comment.
  static bool IsWritableSection(std::string_view section);
  static bool IsWritableKey(std::string_view key);
  static bool IsWritableValue(std::string_view value);

 private:
  struct Line {
    std::string text;
    std::string end;  // "\n", "\r\n", or empty for a last line without one
  };

  // Index of the header line of the first section named `section`, or npos.
  size_t FindSection(std::string_view section) const;
  // One past the last line of the section whose header is at `header`.
  size_t SectionEnd(size_t header) const;
  // The line ending new lines get: the file's first one, else "\n".
  std::string NewLineEnd() const;
  void InsertLine(size_t at, std::string text);

  std::string _byteOrderMark;
  std::vector<Line> _lines;
};

}  // namespace vq
