#include "platform/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>

namespace fahuo {

std::string TempPathBeside(const std::string& path) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08x", std::random_device{}());
  return path + suffix;
}

bool ReplaceFileWith(const std::string& path, const std::string& bytes, mode_t mode) {
  const std::string temp = TempPathBeside(path);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w <= 0) ok = false;
    else done += static_cast<size_t>(w);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

}  // namespace fahuo
