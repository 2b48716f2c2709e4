#pragma once
// File-system calls that differ between operating systems, for the code above platform/.
#include <cstddef>
#include <string>
#include <vector>

namespace fahuo {

enum class FileRead { kMissing, kRead, kUnreadable };

// Why a file read as kUnreadable.
enum class FileRefusal { kNone, kNotRegular, kTooLarge, kNotReadable };

// Reads `path` whole into `bytes` when it is a regular file of at most `max_bytes`.
// Opening never blocks (a FIFO or a device in its place reads as unreadable). kMissing
// when neither the file nor its folder exists; kUnreadable for anything else that is not
// such a file (too large, a folder, no permission, a read error), and `*why` (optional)
// says which.
FileRead ReadSmallRegularFile(const std::string& path, size_t max_bytes, std::string& bytes,
                              FileRefusal* why = nullptr);

// Whether a file or a folder is at `path` (a link counts by what it points to).
bool PathExists(const std::string& path);

// The names in `folder` ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// Removes `path` only if it is a regular file (never a link, a folder or a device).
bool RemoveRegularFile(const std::string& path);

// Holds an exclusive lock on a file (created when missing) while the object lives; the
// system drops it when the process ends, crashed or not.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  enum class Result { kLocked, kHeldElsewhere, kNoFile };
  // Takes the lock without waiting: kHeldElsewhere when another holder has it, kNoFile
  // when the file cannot be opened or created.
  Result TryLock(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace fahuo
