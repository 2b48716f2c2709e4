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
#include "platform/gbk.h"
#include "platform/input_bytes.h"
#include "platform/json_text.h"

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

// One bill as one JSON object on its own line, appended to `line`; the key order is part of
// the output contract.
void AppendBillJsonLine(std::string& line, const BillRecord& bill) {
  line.push_back('{');
  AppendField(line, "流水号", bill.流水号, true);
  AppendField(line, "日期", bill.日期, false);
  AppendField(line, "名称", bill.名称, false);
  AppendField(line, "对方", bill.对方, false);
  AppendField(line, "金额", bill.金额, false);
  AppendField(line, "状态", bill.状态, false);
  AppendField(line, "备注", bill.备注, false);
  AppendField(line, "链接", bill.链接, false);
  line += "}\n";
}

}  // namespace

int Scrape(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: fahuo-cli scrape FILE|-\n");
    return kExitError;
  }
  InputBytes page;
  std::string error;
  if (!page.Read(argv[0], error)) {
    std::fprintf(stderr, "fahuo-cli scrape: %s\n", error.c_str());
    return kExitError;
  }
  std::vector<BillRecord> bills;
  // A record row of the service's pages takes about 1.5 KB: room for them all up front
  // spares the copies and fresh pages of a growing list.
  bills.reserve(page.view().size() / 1024);
  if (!ScrapeRecordTable(page.view(), bills)) return kExitNoRecordTable;
  // One buffered stream: lines go out as they are made, in large writes, without holding the
  // whole output in memory.
  static char out_buffer[1 << 20];
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
  std::string line;
  bool written = true;
  for (const BillRecord& bill : bills) {
    line.clear();
    AppendBillJsonLine(line, bill);
    written = written && std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
  }
  if (!written || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "fahuo-cli scrape: cannot write the output: %s\n", std::strerror(errno));
    return kExitError;
  }
  return kExitRecordTable;
}

}  // namespace fahuo::cli
