#pragma once
// The private-profile INI services the driver keeps its settings with.
//
// Sections and keys match ignoring ASCII case and surrounding blanks; a read
// gives the default text when the file, the section or the key is absent
// (also when the file cannot be read). A write replaces an existing value in
// place, appends a new key after the last entry of its section and a new
// section at the end of the file, and creates the file when needed; every
// other line stays byte for byte. Each write replaces the whole file through
// a flushed temporary file and a rename, so readers never see a half-written
// file and a failed write leaves the old one untouched. Writers in this
// process are serialized; readers take no lock.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ProfileText.h"

namespace vq {

// Copies the value of `key` in `section`, or `defaultText` (nullptr reads as
// ""), into `buffer`, cut to bufferSize - 1 characters and NUL-terminated.
// Returns the number of characters copied, without the NUL; 0 and nothing
// written when the buffer is null or of size 0. A null section or key reads
// the default.
uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buffer,
                                 uint32_t bufferSize, const char* filePath);

// Sets `key` in `section` to `value`. False, with the file unchanged, when an
// argument is null, a name or the value cannot be written as one line (see
// ProfileText), the existing file cannot be read, or the new file cannot be
// written (errno tells why).
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* filePath);

struct ProfileEntry {
  std::string section;
  std::string key;
  std::string value;
};

// Writes every entry, in order, with one read and one replacement of the
// file: the result is the file that WritePrivateProfileString would leave one
// entry after the other, but written all at once or not at all. An invalid
// entry fails the whole batch. An empty batch, or one that changes nothing,
// does not touch the file.
bool WritePrivateProfileStrings(const std::string& filePath, const std::vector<ProfileEntry>& entries);

// The file as read once, for many lookups from one consistent state; an
// absent or unreadable file reads as empty.
ProfileText ReadPrivateProfile(const std::string& filePath);

// GetPrivateProfileString on a file read already.
uint32_t GetProfileString(const ProfileText& profile, const char* section, const char* key, const char* defaultText,
                          char* buffer, uint32_t bufferSize);

}  // namespace vq
