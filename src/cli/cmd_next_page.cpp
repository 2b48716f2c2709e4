// fahuo-cli next-page FILE ADDRESS: where the page loading would go after this page.
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/navigation.h"
#include "cli/commands.h"
#include "platform/gbk.h"

namespace fahuo::cli {
namespace {

bool ReadPage(const char* path, std::string& bytes) {
  const bool from_stdin = std::strcmp(path, "-") == 0;
  FILE* in = from_stdin ? stdin : std::fopen(path, "rb");
  if (in == nullptr) return false;
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(in) != 0;
  if (!from_stdin) std::fclose(in);
  return !failed;
}

}  // namespace

// Prints the next-page address resolved against ADDRESS (the page's own address) and exits
// 0; exits 2 with nothing printed when the page has no next-page link the loading would
// follow (none, an empty one, or one that leaves ADDRESS's host); 1 on a usage or read error.
int NextPage(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fahuo-cli next-page FILE|- ADDRESS\n");
    return 1;
  }
  std::string page;
  if (!ReadPage(argv[0], page)) {
    std::fprintf(stderr, "fahuo-cli: cannot read '%s'\n", argv[0]);
    return 1;
  }
  const std::string current = argv[1];
  std::string next;
  if (!FindNextPage(page, next)) return 2;
  next = ResolveNextAddress(current, next);
  if (next.empty()) return 2;
  std::printf("%s\n", GbkToUtf8(next).c_str());
  return 0;
}

}  // namespace fahuo::cli
