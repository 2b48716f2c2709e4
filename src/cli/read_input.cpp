#include "cli/read_input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fahuo::cli {

bool ReadAllBytes(const std::string& path, std::string& bytes, std::string& error) {
  const bool from_stdin = path == "-";
  FILE* in = from_stdin ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(in) != 0;
  if (failed) error = "cannot read '" + path + "': " + std::strerror(errno);
  if (!from_stdin) std::fclose(in);
  return !failed;
}

}  // namespace fahuo::cli
