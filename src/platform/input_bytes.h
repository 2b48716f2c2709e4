#pragma once
// One whole input, a file or standard input, read into memory at once (fahuo-cli's pages).
#include <cstddef>
#include <string>
#include <string_view>

namespace fahuo {

// The whole of one input (a file, or "-" for standard input) as bytes, in one buffer.
// A regular file's size is known, so it is read in one piece into a buffer of that size;
// a pipe's buffer grows geometrically. The buffer is fresh anonymous memory that the kernel
// may back with large pages, so a page of tens of megabytes costs few page faults and no
// extra pass to clear or copy it.
class InputBytes {
 public:
  InputBytes() = default;
  ~InputBytes();
  InputBytes(const InputBytes&) = delete;
  InputBytes& operator=(const InputBytes&) = delete;

  // False with `error` set on failure.
  bool Read(const std::string& path, std::string& error);
  std::string_view view() const { return {data_, size_}; }

 private:
  bool Reserve(std::size_t capacity);

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace fahuo
