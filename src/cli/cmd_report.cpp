// fahuo-cli report: the shop's figures as CSV, read from the ledger also while fahuo runs
// (a read-only connection of its own; WAL lets it read beside fahuo's writes).
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "ledger/record_rows.h"
#include "ledger/statistics.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"

namespace fahuo::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;

int Failed(const std::string& reason) {
  std::fprintf(stderr, "fahuo-cli report: %s\n", reason.c_str());
  return kExitFailed;
}

void PrintRow(const std::string& period, const Figures& f) {
  std::printf("%s,%lld,%s,%lld,%lld,%s\n", period.c_str(), static_cast<long long>(f.orders),
              FormatYuan(f.amount_fen).c_str(), static_cast<long long>(f.mailed),
              static_cast<long long>(f.needing),
              f.median_seconds < 0 ? "" : std::to_string(f.median_seconds).c_str());
}

}  // namespace

int Report(int argc, char** argv) {
  std::string data_dir, from_text, to_text, by = "day";
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg != "--data-dir" && arg != "--from" && arg != "--to" && arg != "--by") {
      return Failed("unknown argument " + std::string(arg));
    }
    if (i + 1 >= argc) return Failed(std::string(arg) + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--data-dir") data_dir = value;
    if (arg == "--from") from_text = value;
    if (arg == "--to") to_text = value;
    if (arg == "--by") by = value;
  }
  if (data_dir.empty()) return Failed("--data-dir DIR is required");
  BucketSize size = BucketSize::kDay;
  const bool by_rule = by == "rule";
  if (by == "week") {
    size = BucketSize::kWeek;
  } else if (by == "month") {
    size = BucketSize::kMonth;
  } else if (by == "hour") {
    size = BucketSize::kHourOfDay;
  } else if (by != "day" && !by_rule) {
    return Failed("--by takes day, week, month, rule or hour");
  }
  std::optional<DayNumber> from, to;
  if (!from_text.empty() && !(from = ParseDay(from_text))) {
    return Failed("--from is not a date YYYY-MM-DD: " + from_text);
  }
  if (!to_text.empty() && !(to = ParseDay(to_text))) {
    return Failed("--to is not a date YYYY-MM-DD: " + to_text);
  }
  if (from && to && *from > *to) return Failed("--from is after --to");

  const std::string path = DataFolder(data_dir).File("fahuo.db");
  StatisticsReader reader;
  std::string error;
  if (!reader.Open(path, error)) return Failed("cannot open " + path + ": " + error);
  // Without dates, the whole ledger; an open end stops at the first or last dated row.
  if (!from || !to) {
    const auto range = reader.DataRange();
    if (!from) from = range ? range->first : 0;
    if (!to) to = range ? range->second : 0;
  }
  std::printf("%s,收款笔数,收款金额,已发货,需要处理,付款到发信中位秒数\n",
              by_rule ? "商品" : "期间");
  // An empty ledger, or an open end beyond its last (or before its first) dated row: no day
  // to count, the header alone.
  if (*from == 0 || *to == 0 || *from > *to) return kExitOk;
  Statistics stats;
  if (!reader.Read(*from, AddDays(*to, 1), size, stats, error)) {
    return Failed("cannot read " + path + ": " + error);
  }
  if (by_rule) {
    for (const ProductFigures& p : stats.products) {
      PrintRow(p.subject.empty() ? "未匹配规则" : CsvField(GbkToUtf8(p.subject)), p.figures);
    }
  } else {
    for (const BucketFigures& b : stats.buckets) PrintRow(b.label, b.figures);
  }
  return std::fflush(stdout) == 0 ? kExitOk : Failed("cannot write the output");
}

}  // namespace fahuo::cli
