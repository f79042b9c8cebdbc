#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vq {

namespace {

std::atomic<ReplaceFailureHook> failureHook{nullptr};
std::atomic<SyncFunction> syncFunction{&::fsync};

int Sync(int fd) { return syncFunction.load()(fd); }

bool StepFails(ReplaceStep step) {
  const ReplaceFailureHook hook = failureHook.load();
  return hook != nullptr && hook(step);
}

// Restores errno when it goes out of scope, so that clean-up after a failure
// does not hide the failure's cause.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : _saved(errno) {}
  ~ErrnoKeeper() { errno = _saved; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int _saved;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool WriteContent(int fd, const std::string& content) {
  if (StepFails(ReplaceStep::WriteTemporary)) {
    WriteAll(fd, content.data(), content.size() / 2);
    errno = ENOSPC;
    return false;
  }
  return WriteAll(fd, content.data(), content.size());
}

// The file a write should replace: the target of a symbolic link, else the path itself.
std::string ReplacedPath(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens a new temporary file beside `path`; its name goes to `temporaryPath`.
// The name is unique in this process, and O_EXCL keeps it from taking over a
// file left by another process.
int CreateTemporary(const std::string& path, std::string& temporaryPath) {
  if (StepFails(ReplaceStep::CreateTemporary)) {
    errno = EACCES;
    return -1;
  }
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The replacement keeps the old file's permissions and, where allowed, its owner.
void CopyOwnership(int fd, const std::string& path) {
  struct stat old;
  if (stat(path.c_str(), &old) != 0) return;
  ErrnoKeeper keepErrno;
  if (fchmod(fd, old.st_mode & 07777) != 0) return;
  if (fchown(fd, old.st_uid, old.st_gid) != 0) return;
}

// Makes the rename itself durable. The new content is in place already, so a
// failure here is not a failed write.
void SyncFolder(const std::string& folder) {
  ErrnoKeeper keepErrno;
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  Sync(fd);
  close(fd);
}

bool SyncAndClose(int fd) {
  bool synced = false;
  if (StepFails(ReplaceStep::SyncTemporary))
    errno = EIO;
  else
    synced = Sync(fd) == 0;
  if (!synced) {
    ErrnoKeeper keepErrno;
    close(fd);
    return false;
  }
  return close(fd) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  if (StepFails(ReplaceStep::Rename)) {
    errno = EIO;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::string& content) {
  content.clear();
  // Non-blocking, so that a FIFO in its place cannot hang the reader.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileRead::Absent : FileRead::Failed;
  struct stat info;
  const bool statted = fstat(fd, &info) == 0;
  if (!statted || !S_ISREG(info.st_mode)) {
    if (statted) errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ErrnoKeeper keepErrno;
    close(fd);
    return FileRead::Failed;
  }
  char chunk[8192];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ErrnoKeeper keepErrno;
      close(fd);
      content.clear();
      return FileRead::Failed;
    }
    content.append(chunk, static_cast<size_t>(got));
  }
  close(fd);
  return FileRead::Read;
}

bool ReplaceFileContent(const std::string& path, const std::string& content) {
  const std::string target = ReplacedPath(path);
  std::string temporaryPath;
  const int fd = CreateTemporary(target, temporaryPath);
  if (fd < 0) return false;
  CopyOwnership(fd, target);
  bool written = WriteContent(fd, content);
  if (!written) {
    ErrnoKeeper keepErrno;
    close(fd);
  } else {
    written = SyncAndClose(fd) && RenameOver(temporaryPath, target);
  }
  if (!written) {
    ErrnoKeeper keepErrno;
    unlink(temporaryPath.c_str());
    return false;
  }
  SyncFolder(FolderOf(target));
  return true;
}

ReplaceFailureHook SetReplaceFailureHook(ReplaceFailureHook hook) { return failureHook.exchange(hook); }

SyncFunction SetSyncFunction(SyncFunction sync) { return syncFunction.exchange(sync ? sync : &::fsync); }

}  // namespace vq
