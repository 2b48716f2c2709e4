// fahuo-cli: the page operations of fahuo from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "fahuo_version.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int, char**);
  const char* usage;
};

const Command kCommands[] = {
    {"scrape", fahuo::cli::Scrape,
     "scrape FILE|-                 print the bills of a records page as JSON Lines"},
    {"next-page", fahuo::cli::NextPage,
     "next-page FILE ADDRESS        print the next-page address of a records page"},
    {"records-address", fahuo::cli::RecordsAddress,
     "records-address [--host HOST] [--date YYYY-MM-DD]   print the page-1 records address"},
    {"recipient", fahuo::cli::Recipient,
     "recipient NAME NOTE           print the mail address a bill would be sent to"},
    {"make-bill-table", fahuo::cli::MakeBillTable,
     "make-bill-table PATH          write an empty bill table"},
    {"stock", fahuo::cli::Stock,
     "stock add --data-dir DIR [--column N] STOCK FILE|-   add the codes of a file to a stock\n"
     "  stock list --data-dir DIR     print each stock: available, given, low-stock threshold\n"
     "  stock low --data-dir DIR STOCK N   warn when fewer than N codes are left"},
    {"report", fahuo::cli::Report,
     "report --data-dir DIR [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--by day|week|month|rule|hour]\n"
     "                                print the payments, mails and waiting bills as CSV\n"
     "                                (both days included; default: the whole ledger)"},
};

void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: fahuo-cli COMMAND [ARGS] | --version\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
      !std::strcmp(argv[1], "help")) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 1 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("fahuo-cli %s\n%s", FAHUO_VERSION, FAHUO_LICENCE_NOTICE);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  }
  std::fprintf(stderr, "fahuo-cli: unknown command '%s'\n", argv[1]);
  PrintHelp(stderr);
  return 1;
}
