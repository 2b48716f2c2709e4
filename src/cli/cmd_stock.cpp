// fahuo-cli stock: the stocks of codes in a data folder's ledger, also while fahuo runs
// (SQLite locks the file; fahuo's next delivery sees the new codes).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "delivery/placeholders.h"
#include "ledger/code_import.h"
#include "ledger/ledger.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/input_bytes.h"
#include "platform/program_folder.h"

namespace fahuo::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;

constexpr const char kUsage[] =
    "usage: fahuo-cli stock add --data-dir DIR [--column N] STOCK FILE|-\n"
    "       fahuo-cli stock list --data-dir DIR\n"
    "       fahuo-cli stock low --data-dir DIR STOCK N [DAYS]\n";

int Failed(const std::string& reason) {
  std::fprintf(stderr, "fahuo-cli stock: %s\n", reason.c_str());
  return kExitFailed;
}

// The options before the plain arguments; false on an unknown or incomplete one.
struct Options {
  std::string data_dir;
  int column = 0;
  std::vector<std::string> rest;
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--data-dir" || arg == "--column") {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      const char* value = argv[++i];
      if (arg == "--data-dir") {
        options.data_dir = value;
      } else {
        char* end = nullptr;
        const long column = std::strtol(value, &end, 10);
        if (*value == '\0' || *end != '\0' || column < 1 || column > 1000) {
          error = "--column takes a column number from 1";
          return false;
        }
        options.column = static_cast<int>(column);
      }
    } else if (arg.starts_with("--") && arg != "-") {
      error = "unknown option " + std::string(arg);
      return false;
    } else {
      options.rest.emplace_back(arg);
    }
  }
  if (options.data_dir.empty()) {
    error = "--data-dir DIR is required";
    return false;
  }
  return true;
}

// A name a placeholder {卡密:名称} can name: not empty, short, no braces.
bool OpenLedger(const Options& options, Ledger& ledger, std::string& error) {
  // A ledger this program cannot read is left to fahuo, never renamed from here.
  const std::string path = DataFolder(options.data_dir).File("fahuo.db");
  const Ledger::OpenResult opened = ledger.Open(path, 0, true);
  if (!opened.ok) error = "cannot open " + path + ": " + opened.error;
  return opened.ok;
}

int Add(const Options& options) {
  if (options.rest.size() != 2) return Failed("add takes STOCK FILE");
  const std::string stock = Utf8ToGbk(options.rest[0]);
  if (!IsStockName(stock)) return Failed("a stock name is 1 to 64 bytes without braces");
  InputBytes input;
  std::string error;
  if (!input.Read(options.rest[1], error)) return Failed(error);
  const CodeFile file = ReadCodeFile(input.view(), options.column);
  if (!file.ok) return Failed(file.error);
  Ledger ledger;
  if (!OpenLedger(options, ledger, error)) return Failed(error);
  const Ledger::AddResult added = ledger.AddCodes(stock, file.codes);
  if (!added.ok) return Failed("cannot write the ledger: " + ledger.LastError());
  std::printf("%s\n", ImportSummary(added.added, added.duplicates, file.too_long).c_str());
  return kExitOk;
}

int List(const Options& options) {
  if (!options.rest.empty()) return Failed("list takes no arguments");
  Ledger ledger;
  std::string error;
  if (!OpenLedger(options, ledger, error)) return Failed(error);
  std::printf("库存\t可用\t已发\t提醒阈值\t提醒天数\t可用天数\n");
  for (const StockSummary& s : ledger.Stocks(SystemClock().UnixSeconds())) {
    const std::string days = s.days_left ? std::to_string(*s.days_left) : "-";
    std::printf("%s\t%zu\t%zu\t%d\t%d\t%s\n", GbkToUtf8(s.name).c_str(), s.available, s.given,
                s.threshold, s.low_days, days.c_str());
  }
  return kExitOk;
}

int Low(const Options& options) {
  if (options.rest.size() != 2 && options.rest.size() != 3)
    return Failed("low takes STOCK N [DAYS]");
  const std::string stock = Utf8ToGbk(options.rest[0]);
  if (!IsStockName(stock)) return Failed("a stock name is 1 to 64 bytes without braces");
  char* end = nullptr;
  const long threshold = std::strtol(options.rest[1].c_str(), &end, 10);
  if (options.rest[1].empty() || *end != '\0' || threshold < 0 || threshold > 1000000) {
    return Failed("N is a number of codes from 0");
  }
  // DAYS: warn also when the codes left last fewer days than this at the recent pace.
  long days = -1;
  if (options.rest.size() == 3) {
    days = std::strtol(options.rest[2].c_str(), &end, 10);
    if (options.rest[2].empty() || *end != '\0' || days < 0 || days > 365) {
      return Failed("DAYS is a number of days from 0 to 365");
    }
  }
  Ledger ledger;
  std::string error;
  if (!OpenLedger(options, ledger, error)) return Failed(error);
  if (!ledger.SetLowStock(stock, static_cast<int>(threshold)) ||
      (days >= 0 && !ledger.SetLowDays(stock, static_cast<int>(days)))) {
    return Failed("cannot write the ledger: " + ledger.LastError());
  }
  return kExitOk;
}

}  // namespace

int Stock(int argc, char** argv) {
  if (argc < 1) {
    std::fputs(kUsage, stderr);
    return kExitFailed;
  }
  Options options;
  std::string error;
  if (!ParseOptions(argc - 1, argv + 1, options, error)) return Failed(error);
  const std::string_view what = argv[0];
  if (what == "add") return Add(options);
  if (what == "list") return List(options);
  if (what == "low") return Low(options);
  std::fputs(kUsage, stderr);
  return kExitFailed;
}

}  // namespace fahuo::cli
