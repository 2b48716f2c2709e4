#include <cstdio>

#include "cli/commands.h"

namespace fahuo::cli {

int Scrape(int, char**) {
  std::fprintf(stderr, "fahuo-cli: not available yet\n");
  return 1;
}

}  // namespace fahuo::cli
