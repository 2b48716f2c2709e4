// fahuo-cli scrape FILE|-: the bills of a records page as JSON Lines.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "capture/bill_record.h"
#include "capture/record_scraper.h"
#include "cli/commands.h"
#include "cli/json_text.h"
#include "cli/read_input.h"
#include "platform/gbk.h"

namespace fahuo::cli {
namespace {

constexpr int kExitRecordTable = 0;
constexpr int kExitError = 1;
constexpr int kExitNoRecordTable = 2;

void AppendField(std::string& line, std::string_view key, const std::string& gbk_value,
                 bool first) {
  if (!first) line.push_back(',');
  AppendJsonString(line, key);
  line.push_back(':');
  AppendJsonString(line, GbkToUtf8(gbk_value));
}

// One bill as one JSON object; the key order is part of the output contract.
std::string BillJsonLine(const BillRecord& bill) {
  std::string line = "{";
  AppendField(line, "流水号", bill.流水号, true);
  AppendField(line, "日期", bill.日期, false);
  AppendField(line, "名称", bill.名称, false);
  AppendField(line, "对方", bill.对方, false);
  AppendField(line, "金额", bill.金额, false);
  AppendField(line, "状态", bill.状态, false);
  AppendField(line, "备注", bill.备注, false);
  AppendField(line, "链接", bill.链接, false);
  line += "}\n";
  return line;
}

}  // namespace

int Scrape(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: fahuo-cli scrape FILE|-\n");
    return kExitError;
  }
  std::string page;
  std::string error;
  if (!ReadAllBytes(argv[0], page, error)) {
    std::fprintf(stderr, "fahuo-cli scrape: %s\n", error.c_str());
    return kExitError;
  }
  std::vector<BillRecord> bills;
  if (!ScrapeRecordTable(page, bills)) return kExitNoRecordTable;
  std::string out;
  for (const BillRecord& bill : bills) out += BillJsonLine(bill);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "fahuo-cli scrape: cannot write the output: %s\n", std::strerror(errno));
    return kExitError;
  }
  return kExitRecordTable;
}

}  // namespace fahuo::cli
