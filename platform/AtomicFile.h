#pragma once
// Whole-file reads, and whole-file replacement that never leaves a
// half-written file: the new content goes to a temporary file in the same
// folder, is flushed to the disk, and is then renamed over the old file. A
// reader sees either the old file or the new one, a crash or a full disk at
// any point leaves the old file as it was.
#include <string>

namespace vq {

enum class FileRead { Read, Absent, Failed };

// Read: `content` holds the file. Absent: there is no file (content empty).
// Failed: something is there but cannot be read as a regular file; errno
// tells why.
FileRead ReadWholeFile(const std::string& path, std::string& content);

// Replaces the content of `path` (creating the file when absent) and keeps
// the old file's permission bits. A symbolic link is followed, so the link
// stays and its target is replaced. False, with errno set, when the content
// could not be written; the old file is then untouched and no temporary file
// is left behind.
bool ReplaceFileContent(const std::string& path, const std::string& content);

// The steps of a replacement, for tests that make one of them fail.
enum class ReplaceStep { CreateTemporary, WriteTemporary, SyncTemporary, Rename };

// Called before each step; returning true makes the step fail as the system
// would (WriteTemporary writes half of the content and then runs out of disk
// space). A hook may also end the process to stand for a crash at that step.
using ReplaceFailureHook = bool (*)(ReplaceStep step);

// Installs a hook for every thread, nullptr removes it. Returns the previous one.
ReplaceFailureHook SetReplaceFailureHook(ReplaceFailureHook hook);

// What flushes a file or folder to the disk: fsync, unless a test watches
// the calls (it must call fsync itself). nullptr puts fsync back. Returns the
// previous one.
using SyncFunction = int (*)(int fd);
SyncFunction SetSyncFunction(SyncFunction sync);

}  // namespace vq
