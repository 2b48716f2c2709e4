#include "platform/input_bytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fahuo {
namespace {

constexpr std::size_t kPipeStart = std::size_t{1} << 20;

}  // namespace

InputBytes::~InputBytes() {
  if (data_) ::munmap(data_, capacity_);
}

bool InputBytes::Reserve(std::size_t capacity) {
  void* p =
      data_ ? ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
            : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<char*>(p);
  capacity_ = capacity;
  // Large pages where the kernel allows them: a 30 MB page then takes a few dozen faults
  // instead of thousands. Only advice; failure changes nothing.
  ::madvise(data_, capacity_, MADV_HUGEPAGE);
  return true;
}

bool InputBytes::Read(const std::string& path, std::string& error) {
  const bool from_stdin = path == "-";
  const int fd = from_stdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    ok = false;
  }
  // One byte more than a file's size, so that its end is seen without growing the buffer.
  std::size_t want = kPipeStart;
  if (ok && S_ISREG(st.st_mode) && st.st_size > 0) want = static_cast<std::size_t>(st.st_size) + 1;
  ok = ok && Reserve(want);
  while (ok) {
    if (size_ == capacity_ && !Reserve(capacity_ * 2)) {  // a pipe, or a growing file
      ok = false;
      break;
    }
    const ssize_t n = ::read(fd, data_ + size_, capacity_ - size_);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) ok = false;
      continue;
    }
    size_ += static_cast<std::size_t>(n);
  }
  if (!ok) error = "cannot read '" + path + "': " + std::strerror(errno);
  if (!from_stdin) ::close(fd);
  return ok;
}

}  // namespace fahuo
