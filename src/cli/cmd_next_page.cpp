// fahuo-cli next-page FILE ADDRESS: where the page loading would go after this page.
#include <cstdio>
#include <string>

#include "capture/navigation.h"
#include "cli/commands.h"
#include "platform/gbk.h"
#include "platform/input_bytes.h"

namespace fahuo::cli {

// Prints the next-page address resolved against ADDRESS (the page's own address) and exits
// 0; exits 2 with nothing printed when the page has no next-page link the loading would
// follow (none, an empty one, or one that leaves ADDRESS's host); 1 on a usage or read error.
int NextPage(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fahuo-cli next-page FILE|- ADDRESS\n");
    return 1;
  }
  InputBytes page;
  std::string error;
  if (!page.Read(argv[0], error)) {
    std::fprintf(stderr, "fahuo-cli: %s\n", error.c_str());
    return 1;
  }
  const std::string current = argv[1];
  std::string next;
  if (!FindNextPage(page.view(), next)) return 2;
  next = ResolveNextAddress(current, next);
  if (next.empty()) return 2;
  std::printf("%s\n", GbkToUtf8(next).c_str());
  return 0;
}

}  // namespace fahuo::cli
