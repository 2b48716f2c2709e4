#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <random>

namespace fahuo {

std::string TempPathBeside(const std::string& path) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08x", std::random_device{}());
  return path + suffix;
}

bool ReplaceFileWith(const std::string& path, const std::string& bytes, FileAccess access) {
  const mode_t mode = access == FileAccess::kOwnerOnly ? 0600 : 0644;
  const std::string temp = TempPathBeside(path);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w <= 0)
      ok = false;
    else
      done += static_cast<size_t>(w);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

std::string FreeNameBeside(const std::string& path, const std::string& label, int64_t now_unix) {
  const std::time_t t = static_cast<std::time_t>(now_unix);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + "." + label + "-" + stamp;
  std::string candidate = base;
  struct stat st {};
  for (int n = 2; ::lstat(candidate.c_str(), &st) == 0; ++n) {
    candidate = base + "-" + std::to_string(n);
  }
  return candidate;
}

std::string MoveAside(const std::string& path, const std::string& label, int64_t now_unix) {
  const std::string target = FreeNameBeside(path, label, now_unix);
  return std::rename(path.c_str(), target.c_str()) == 0 ? target : std::string();
}

}  // namespace fahuo
