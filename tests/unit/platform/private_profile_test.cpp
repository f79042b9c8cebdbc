#include "platform/PrivateProfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/AtomicFile.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_ino;
}

class PrivateProfile : public ::testing::Test {
 protected:
  void TearDown() override { vq::SetReplaceFailureHook(nullptr); }

  std::string Get(const char* section, const char* key, const char* defaultText = "dflt", uint32_t size = 256) {
    std::string buffer(size + 1, '#');
    const uint32_t count = vq::GetPrivateProfileString(section, key, defaultText, buffer.data(), size, _file.c_str());
    EXPECT_EQ(count, size == 0 ? 0 : std::strlen(buffer.c_str()));
    return size == 0 ? buffer : buffer.c_str();
  }

  vqtest::TempDir _dir;
  std::string _file = _dir.Path() + "/VorquellCamera.ini";
};

TEST_F(PrivateProfile, AbsentFileSectionOrKeyGiveTheDefault) {
  EXPECT_EQ(Get("General", "LogLevel"), "dflt");
  EXPECT_EQ(Get("General", "LogLevel", nullptr), "");
  WriteFile(_file, "[General]\nLogLevel=3\n");
  EXPECT_EQ(Get("general", "loglevel"), "3");
  EXPECT_EQ(Get("Cam (1)", "LogLevel"), "dflt");
  EXPECT_EQ(Get("General", "Gain"), "dflt");
  EXPECT_EQ(Get(nullptr, "LogLevel"), "dflt");
  EXPECT_EQ(FolderEntries(_dir.Path()), std::vector<std::string>{"VorquellCamera.ini"});
}

TEST_F(PrivateProfile, ValueAndDefaultAreCutToTheBuffer) {
  WriteFile(_file, "[S]\nlong=" + std::string(300, 'v') + "\n");
  EXPECT_EQ(Get("S", "long"), std::string(255, 'v'));
  EXPECT_EQ(Get("S", "long", "", 4), "vvv");
  EXPECT_EQ(Get("S", "none", "abcdef", 4), "abc");
  EXPECT_EQ(Get("S", "long", "", 1), "");
  EXPECT_EQ(Get("S", "long", "", 0), std::string(1, '#'));  // nothing written
}

TEST_F(PrivateProfile, WriteCreatesFileAndSectionThenReplacesInPlace) {
  EXPECT_TRUE(vq::WritePrivateProfileString("General", "LogLevel", "1", _file.c_str()));
  EXPECT_TRUE(vq::WritePrivateProfileString("Cam (1)", "Gain", "5", _file.c_str()));
  EXPECT_TRUE(vq::WritePrivateProfileString("GENERAL", "loglevel", "4", _file.c_str()));
  EXPECT_EQ(ReadFile(_file), "[General]\nLogLevel=4\n\n[Cam (1)]\nGain=5\n");
  EXPECT_EQ(FolderEntries(_dir.Path()), std::vector<std::string>{"VorquellCamera.ini"});
}

TEST_F(PrivateProfile, BatchGivesTheSameFileAsSingleWrites) {
  const std::string start = "# settings\n[Cam (2)]\n  Gain = 1 \n\n[General]\nLogLevel=2\n";
  const std::vector<vq::ProfileEntry> entries = {
      {"General", "LogLevel", "3"}, {"Cam (2)", "gain", "9"}, {"Cam (2)", "Hue", "4"}, {"New", "A", "b"}};
  const std::string single = _dir.Path() + "/single.ini";
  WriteFile(single, start);
  WriteFile(_file, start);
  for (const auto& e : entries)
    ASSERT_TRUE(vq::WritePrivateProfileString(e.section.c_str(), e.key.c_str(), e.value.c_str(), single.c_str()));
  ASSERT_TRUE(vq::WritePrivateProfileStrings(_file, entries));
  EXPECT_EQ(ReadFile(_file), ReadFile(single));
  EXPECT_EQ(ReadFile(_file), "# settings\n[Cam (2)]\n  Gain = 9\nHue=4\n\n[General]\nLogLevel=3\n\n[New]\nA=b\n");
}

TEST_F(PrivateProfile, WriteReplacesTheFileKeepingModeAndLinks) {
  WriteFile(_file, "[General]\nLogLevel=1\n");
  chmod(_file.c_str(), 0640);
  const std::string link = _dir.Path() + "/link.ini";
  fs::create_symlink(_file, link);
  const ino_t before = Inode(_file);

  ASSERT_TRUE(vq::WritePrivateProfileString("General", "LogLevel", "2", link.c_str()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(_file), "[General]\nLogLevel=2\n");
  // A new file took the old one's place rather than being overwritten in place.
  EXPECT_NE(Inode(_file), before);
  EXPECT_EQ(fs::status(_file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(PrivateProfile, WriteThatChangesNothingLeavesTheFileAlone) {
  WriteFile(_file, "[General]\r\n LogLevel = 2\r\n");
  const ino_t before = Inode(_file);
  EXPECT_TRUE(vq::WritePrivateProfileString("general", "LOGLEVEL", "2", _file.c_str()));
  EXPECT_TRUE(vq::WritePrivateProfileStrings(_file, {}));
  EXPECT_EQ(Inode(_file), before);
  EXPECT_TRUE(vq::WritePrivateProfileStrings(_dir.Path() + "/never.ini", {}));
  EXPECT_FALSE(fs::exists(_dir.Path() + "/never.ini"));
}

TEST_F(PrivateProfile, TextThatWouldBreakTheFileIsRefused) {
  WriteFile(_file, "[General]\nLogLevel=1\n");
  EXPECT_FALSE(vq::WritePrivateProfileString("General", "LogLevel", "1\n[Other]", _file.c_str()));
  EXPECT_FALSE(vq::WritePrivateProfileString("General", "a=b", "1", _file.c_str()));
  EXPECT_FALSE(vq::WritePrivateProfileString("Gen\neral", "a", "1", _file.c_str()));
  EXPECT_FALSE(vq::WritePrivateProfileString("General", nullptr, "1", _file.c_str()));
  EXPECT_FALSE(vq::WritePrivateProfileStrings(_file, {{"General", "LogLevel", "4"}, {"General", ";x", "1"}}));
  EXPECT_EQ(ReadFile(_file), "[General]\nLogLevel=1\n");
}

TEST_F(PrivateProfile, UnreadableOrUnwritablePlacesFailWithoutDamage) {
  const std::string missingFolder = _dir.Path() + "/missing/VorquellCamera.ini";
  EXPECT_FALSE(vq::WritePrivateProfileString("General", "LogLevel", "1", missingFolder.c_str()));
  EXPECT_EQ(errno, ENOENT);

  // Something that is not a file must not be replaced by one.
  fs::create_directory(_file);
  EXPECT_FALSE(vq::WritePrivateProfileString("General", "LogLevel", "1", _file.c_str()));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_TRUE(fs::is_directory(_file));
  EXPECT_EQ(Get("General", "LogLevel"), "dflt");
  fs::remove(_file);
  // Nor may a FIFO, which cannot be read as a file (running as root, no
  // permission bit makes a file unreadable).
  ASSERT_EQ(0, mkfifo(_file.c_str(), 0600));
  EXPECT_FALSE(vq::WritePrivateProfileString("General", "LogLevel", "1", _file.c_str()));
  EXPECT_TRUE(fs::is_fifo(_file));
}

namespace {

std::vector<std::string> syncEvents;

int WatchedSync(int fd) {
  struct stat info {};
  fstat(fd, &info);
  syncEvents.push_back(S_ISDIR(info.st_mode) ? "sync folder" : "sync file");
  return fsync(fd);
}

}  // namespace

// The new content is on the disk before it takes the old file's name, and the
// rename is made durable after.
TEST_F(PrivateProfile, TheTemporaryFileIsSyncedBeforeTheRename) {
  syncEvents.clear();
  vq::SetSyncFunction(WatchedSync);
  vq::SetReplaceFailureHook([](vq::ReplaceStep step) {
    if (step == vq::ReplaceStep::Rename) syncEvents.push_back("rename");
    return false;
  });
  EXPECT_TRUE(vq::WritePrivateProfileString("General", "LogLevel", "4", _file.c_str()));
  vq::SetReplaceFailureHook(nullptr);
  vq::SetSyncFunction(nullptr);
  EXPECT_EQ((std::vector<std::string>{"sync file", "rename", "sync folder"}), syncEvents);
  EXPECT_EQ(Get("General", "LogLevel"), "4");
}

class PrivateProfileFailedStep : public PrivateProfile, public ::testing::WithParamInterface<vq::ReplaceStep> {};

vq::ReplaceStep failingStep;

TEST_P(PrivateProfileFailedStep, LeavesTheOldFileAndNoTemporaryFile) {
  const std::string old = "; hand-made\n[General]\nLogLevel=1\n";
  WriteFile(_file, old);
  failingStep = GetParam();
  vq::SetReplaceFailureHook([](vq::ReplaceStep step) { return step == failingStep; });

  EXPECT_FALSE(vq::WritePrivateProfileStrings(_file, {{"General", "LogLevel", "4"}, {"Cam (1)", "Gain", "3"}}));
  EXPECT_NE(errno, 0);
  EXPECT_EQ(ReadFile(_file), old);
  EXPECT_FALSE(vq::WritePrivateProfileString("General", "LogLevel", "4", (_dir.Path() + "/new.ini").c_str()));
  EXPECT_EQ(FolderEntries(_dir.Path()), std::vector<std::string>{"VorquellCamera.ini"});

  vq::SetReplaceFailureHook(nullptr);
  EXPECT_TRUE(vq::WritePrivateProfileString("General", "LogLevel", "4", _file.c_str()));
  EXPECT_EQ(Get("General", "LogLevel"), "4");
}

std::string StepName(const ::testing::TestParamInfo<vq::ReplaceStep>& info) {
  static const char* const names[] = {"CreateTemporary", "WriteTemporary", "SyncTemporary", "Rename"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryStep, PrivateProfileFailedStep,
                         ::testing::Values(vq::ReplaceStep::CreateTemporary, vq::ReplaceStep::WriteTemporary,
                                           vq::ReplaceStep::SyncTemporary, vq::ReplaceStep::Rename),
                         StepName);

TEST_F(PrivateProfile, CrashBeforeTheRenameLeavesTheOldFileWhole) {
  const std::string old = "[General]\nLogLevel=1\n";
  WriteFile(_file, old);
  EXPECT_EXIT(
      {
        vq::SetReplaceFailureHook([](vq::ReplaceStep step) {
          if (step == vq::ReplaceStep::Rename) _exit(3);
          return false;
        });
        vq::WritePrivateProfileString("General", "LogLevel", "4", _file.c_str());
      },
      ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(ReadFile(_file), old);
  // The crashed writer's flushed temporary file is left over, complete.
  const std::vector<std::string> entries = FolderEntries(_dir.Path());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(ReadFile(_dir.Path() + "/" + entries[1]), "[General]\nLogLevel=4\n");
  EXPECT_TRUE(vq::WritePrivateProfileString("General", "LogLevel", "2", _file.c_str()));
  EXPECT_EQ(Get("General", "LogLevel"), "2");
}

TEST_F(PrivateProfile, ConcurrentWritersLoseNoKeyAndReadersSeeWholeFiles) {
  constexpr int Writers = 4;
  constexpr int KeysEach = 25;
  std::atomic<int> running{Writers};
  std::atomic<int> tornReads{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < Writers; ++w) {
    threads.emplace_back([&, w] {
      for (int k = 0; k < KeysEach; ++k) {
        // Each write also rewrites the whole of "Shared" to one writer's mark.
        std::vector<vq::ProfileEntry> entries{{"Writer" + std::to_string(w), "Key" + std::to_string(k), "1"}};
        for (int s = 0; s < 10; ++s) entries.push_back({"Shared", "S" + std::to_string(s), std::to_string(w)});
        EXPECT_TRUE(vq::WritePrivateProfileStrings(_file, entries));
      }
      --running;
    });
  }
  threads.emplace_back([&] {
    do {
      const vq::ProfileText profile = vq::ReadPrivateProfile(_file);
      const std::string first = profile.Find("Shared", "S0").value_or("");
      for (int s = 1; s < 10; ++s)
        if (profile.Find("Shared", "S" + std::to_string(s)).value_or("") != first) ++tornReads;
    } while (running > 0);
  });
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(tornReads, 0);
  const vq::ProfileText final = vq::ReadPrivateProfile(_file);
  for (int w = 0; w < Writers; ++w)
    for (int k = 0; k < KeysEach; ++k)
      EXPECT_EQ(final.Find("Writer" + std::to_string(w), "Key" + std::to_string(k)), "1") << w << " " << k;
}

}  // namespace
