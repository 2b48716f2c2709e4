// Opening the delivery record over a large ledger: the model's first page, a filtered first
// page, and scrolling on. Each must stay quick at 100,000 bills (the ledger of years).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/record_model.h"
#include "ledger/bill_state_text.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

constexpr int kBills = 100000;

// 100,000 bills over a year, mostly baseline and sent, a few for the seller; built once.
Ledger& BigLedger() {
  static std::unique_ptr<Ledger> ledger;
  if (ledger) return *ledger;
  const std::string dir =
      std::filesystem::temp_directory_path() / ("fahuo-record-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ledger = std::make_unique<Ledger>();
  ledger->Open(dir + "/fahuo.db", 0);
  std::vector<LedgerEntry> entries;
  const std::string names[] = {Utf8ToGbk("张三 QQ 123456789"), Utf8ToGbk("李四的教程"),
                               "buyer@example.com", Utf8ToGbk("王五")};
  for (int i = 0; i < kBills; ++i) {
    LedgerEntry e;
    e.bill.流水号 = "2024" + std::to_string(10000000 + i);
    e.bill.名称 = names[i % 4];
    e.bill.金额 = "98.00";
    e.first_seen = 1700000000 + i * 315;
    e.state = i % 97 == 0      ? BillState::kFailed
              : i < kBills / 2 ? BillState::kBaseline
                               : BillState::kSent;
    e.recipient = e.state == BillState::kSent ? "123456789@qq.com" : "";
    entries.push_back(std::move(e));
  }
  ledger->Insert(entries);
  std::filesystem::remove_all(dir);  // the open connection keeps the file
  return *ledger;
}

void BM_OpenRecordModel(benchmark::State& state) {
  Ledger& ledger = BigLedger();
  for (auto _ : state) {
    RecordModel model(ledger);
    benchmark::DoNotOptimize(model.rowCount());
  }
}
BENCHMARK(BM_OpenRecordModel)->Unit(benchmark::kMillisecond);

void BM_FilteredFirstPage(benchmark::State& state) {
  Ledger& ledger = BigLedger();
  RecordModel model(ledger);
  LedgerFilter filter;
  switch (state.range(0)) {
    case 0:
      filter.states = SellerStates();
      break;
    case 1:
      filter.states = {BillState::kBaseline};
      break;
    case 2:
      filter.search = Utf8ToGbk("李四");
      break;
    case 3:
      filter.seen_from = 1700000000 + 10000 * 315;
      filter.seen_before = 1700000000 + 20000 * 315;
      break;
  }
  for (auto _ : state) {
    model.SetFilter(filter);
    benchmark::DoNotOptimize(model.rowCount());
  }
}
BENCHMARK(BM_FilteredFirstPage)
    ->ArgName("seller_states|baseline|search|dates")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

// Scrolling to the bottom: 200 pages, each read below the last row held.
void BM_ScrollToTheEnd(benchmark::State& state) {
  Ledger& ledger = BigLedger();
  for (auto _ : state) {
    RecordModel model(ledger);
    while (model.canFetchMore()) model.fetchMore();
    benchmark::DoNotOptimize(model.rowCount());
  }
}
BENCHMARK(BM_ScrollToTheEnd)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace fahuo
