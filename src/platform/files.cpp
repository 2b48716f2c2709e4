#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fahuo {

FileRead ReadSmallRegularFile(const std::string& path, size_t max_bytes, std::string& bytes,
                              FileRefusal* why) {
  FileRefusal refusal = FileRefusal::kNotReadable;
  if (!why) why = &refusal;
  *why = FileRefusal::kNotReadable;
  // O_NONBLOCK keeps a FIFO or a device in the file's place from hanging the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kUnreadable;
  }
  FileRead state = FileRead::kUnreadable;
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  if (known && !S_ISREG(st.st_mode)) *why = FileRefusal::kNotRegular;
  if (known && S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > max_bytes) {
    *why = FileRefusal::kTooLarge;
  }
  if (known && S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) <= max_bytes) {
    bytes.assign(static_cast<size_t>(st.st_size) + 1, '\0');
    size_t got = 0;
    ssize_t n = 0;
    while (got < bytes.size() && (n = ::read(fd, bytes.data() + got, bytes.size() - got)) > 0) {
      got += static_cast<size_t>(n);
    }
    // A file that grew past the limit while being read is refused like a large one.
    if (n >= 0 && got <= max_bytes) {
      bytes.resize(got);
      state = FileRead::kRead;
      *why = FileRefusal::kNone;
    } else if (n >= 0) {
      *why = FileRefusal::kTooLarge;
    }
  }
  ::close(fd);
  return state;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool RemoveRegularFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

FileLock::Result FileLock::TryLock(const std::string& path) {
  if (fd_ >= 0) return Result::kLocked;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return Result::kNoFile;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Result::kLocked;
  ::close(fd_);
  fd_ = -1;
  return Result::kHeldElsewhere;
}

}  // namespace fahuo
