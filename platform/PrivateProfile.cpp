#include "platform/PrivateProfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/AtomicFile.h"

namespace vq {

namespace {

// One writer at a time, so that no read-modify-write of a file loses another's change.
std::mutex& WriterLock() {
  static std::mutex lock;
  return lock;
}

bool IsWritable(const ProfileEntry& entry) {
  return ProfileText::IsWritableSection(entry.section) && ProfileText::IsWritableKey(entry.key) &&
         ProfileText::IsWritableValue(entry.value);
}

uint32_t CopyCut(const char* text, char* buffer, uint32_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return 0;
  const size_t copied = std::min<size_t>(std::strlen(text), bufferSize - 1);
  std::memcpy(buffer, text, copied);
  buffer[copied] = '\0';
  return static_cast<uint32_t>(copied);
}

}  // namespace

ProfileText ReadPrivateProfile(const std::string& filePath) {
  std::string content;
  if (ReadWholeFile(filePath, content) != FileRead::Read) return ProfileText();
  return ProfileText(content);
}

uint32_t GetProfileString(const ProfileText& profile, const char* section, const char* key, const char* defaultText,
                          char* buffer, uint32_t bufferSize) {
  if (section != nullptr && key != nullptr) {
    if (const std::optional<std::string> value = profile.Find(section, key))
      return CopyCut(value->c_str(), buffer, bufferSize);
  }
  return CopyCut(defaultText != nullptr ? defaultText : "", buffer, bufferSize);
}

uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buffer,
                                 uint32_t bufferSize, const char* filePath) {
  const ProfileText profile = filePath != nullptr ? ReadPrivateProfile(filePath) : ProfileText();
  return GetProfileString(profile, section, key, defaultText, buffer, bufferSize);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* filePath) {
  if (section == nullptr || key == nullptr || value == nullptr || filePath == nullptr) {
    errno = EINVAL;
    return false;
  }
  return WritePrivateProfileStrings(filePath, {{section, key, value}});
}

bool WritePrivateProfileStrings(const std::string& filePath, const std::vector<ProfileEntry>& entries) {
  if (filePath.empty() || !std::all_of(entries.begin(), entries.end(), IsWritable)) {
    errno = EINVAL;
    return false;
  }
  if (entries.empty()) return true;

  std::lock_guard<std::mutex> lock(WriterLock());
  std::string content;
  const FileRead read = ReadWholeFile(filePath, content);
  // A file that is there but cannot be read must not be replaced by a file
  // holding only the new entries.
  if (read == FileRead::Failed) return false;
  ProfileText profile(content);
  for (const ProfileEntry& entry : entries) profile.Set(entry.section, entry.key, entry.value);
  const std::string updated = profile.Text();
  if (read == FileRead::Read && updated == content) return true;
  return ReplaceFileContent(filePath, updated);
}

}  // namespace vq
