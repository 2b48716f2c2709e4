#include <cstdio>

#include "cli/commands.h"
#include "platform/record_table.h"

namespace fahuo::cli {

int MakeBillTable(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: fahuo-cli make-bill-table PATH\n");
    return 1;
  }
  if (!RecordTable::CreateEmpty(argv[0], BillTableFields())) {
    std::fprintf(stderr, "fahuo-cli: cannot write %s\n", argv[0]);
    return 1;
  }
  return 0;
}

}  // namespace fahuo::cli
