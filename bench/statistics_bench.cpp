// The shop's figures over a ledger of 1,000,000 bills across a year, as the 统计 window and
// `fahuo-cli report` read them: a 30-day period's figures (with the period before, the
// buckets, the products and the hours; goal 300 ms) and the whole year by day (goal 1 s).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ledger/ledger.h"
#include "ledger/ledger_schema.h"
#include "ledger/statistics.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

constexpr DayNumber kYearStart = 20260101;

// The fixture ledger, written once per process: one transaction, one prepared insert.
class YearLedger {
 public:
  explicit YearLedger(int bills)
      : dir_(std::filesystem::temp_directory_path() /
             ("fahuo-bench-stats-" + std::to_string(getpid()))) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = dir_ + "/fahuo.db";
    {
      Ledger ledger;  // the schema and its indexes, as fahuo makes them
      ledger.Open(path_, 0);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN;", nullptr, nullptr, nullptr);
    {
      Stmt insert(db, ledger_schema::Statements().insert);
      const std::string subjects[] = {Utf8ToGbk("月卡"), Utf8ToGbk("季卡"), Utf8ToGbk("年卡"),
                                      Utf8ToGbk("体验卡"), ""};
      LedgerEntry e;
      const int64_t year_start_unix = 1767225600;  // 2026-01-01 00:00 UTC
      for (int i = 0; i < bills; ++i) {
        const int64_t second = static_cast<int64_t>(i) * (365LL * 86400) / bills;
        const DayNumber day = AddDays(kYearStart, static_cast<int>(second / 86400));
        const int64_t in_day = second % 86400;
        char date[32];
        std::snprintf(date, sizeof date, "%04d.%02d.%02d %02d:%02d:%02d", day / 10000,
                      day / 100 % 100, day % 100, static_cast<int>(in_day / 3600),
                      static_cast<int>(in_day / 60 % 60), static_cast<int>(in_day % 60));
        e.bill.流水号 = "S" + std::to_string(i);
        e.bill.日期 = date;
        e.bill.金额 = "+ " + std::to_string(5 + i % 200) + "." + std::to_string(10 + i % 90);
        e.bill.状态 = Utf8ToGbk("交易成功");
        e.first_seen = year_start_unix + second + 60;
        const int kind = i % 100;
        e.state = kind < 85   ? BillState::kSent
                  : kind < 90 ? BillState::kBaseline
                  : kind < 93 ? BillState::kFailed
                  : kind < 95 ? BillState::kHeld
                  : kind < 98 ? BillState::kNotPaid
                              : BillState::kOutgoing;
        e.sent_at = e.state == BillState::kSent ? e.first_seen + 5 + i % 300 : 0;
        e.rule_subject = e.state == BillState::kSent ? subjects[i % 4] : subjects[4];
        e.resends = i % 97 == 0 ? 1 : 0;
        insert.Reset();
        ledger_schema::BindEntry(insert, e, true, nullptr);
        insert.Step();
      }
    }
    sqlite3_exec(db, "COMMIT; ANALYZE;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  ~YearLedger() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
};

const YearLedger& Fixture(int bills) {
  static const auto ledger = std::make_unique<YearLedger>(bills);
  return *ledger;
}

void BM_StatisticsPeriod(benchmark::State& state) {
  const YearLedger& ledger = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    StatisticsReader reader;  // the window opens one per read
    std::string error;
    Statistics stats;
    if (!reader.Open(ledger.path(), error) ||
        !reader.Read(20260601, 20260701, BucketSize::kDay, stats, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(stats.total.amount_fen);
  }
}

void BM_ReportByDay(benchmark::State& state) {
  const YearLedger& ledger = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    StatisticsReader reader;
    std::string error;
    Statistics stats;
    const auto range = reader.Open(ledger.path(), error) ? reader.DataRange() : std::nullopt;
    if (!range ||
        !reader.Read(range->first, AddDays(range->second, 1), BucketSize::kDay, stats, error)) {
      state.SkipWithError(("no figures: " + error).c_str());
      break;
    }
    std::string csv;
    for (const BucketFigures& b : stats.buckets) {
      csv += b.label + "," + std::to_string(b.figures.orders) + "," +
             FormatYuan(b.figures.amount_fen) + "\n";
    }
    benchmark::DoNotOptimize(csv.data());
  }
}

BENCHMARK(BM_StatisticsPeriod)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportByDay)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fahuo
