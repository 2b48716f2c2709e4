// What a pass that finds one bill costs the UI thread with 100,000 bills on screen: the
// list model takes the new row and the changed state, the view lays out and paints. The
// whole rebuild (switching lists) is measured beside it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTableView>
#include <filesystem>
#include <memory>
#include <string>

#include "app/bill_list_model.h"
#include "capture/bill_list.h"
#include "ledger/ledger.h"

namespace fahuo {
namespace {

BillRecord Bill(int n) {
  BillRecord b;
  b.流水号 = "2026120822001" + std::to_string(1000000 + n);
  b.日期 = "2026.12.0822:20";
  b.名称 = std::to_string(10000000 + n);
  b.对方 = "buyer";
  b.金额 = "+98.00";
  b.状态 = "ok";
  return b;
}

struct Fixture {
  explicit Fixture(int bills) {
    dir = std::filesystem::temp_directory_path() / ("fahuo-list-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    ledger.Open((dir / "fahuo.db").string(), 0);
    std::vector<LedgerEntry> entries;
    std::vector<BillRecord> records;
    for (int i = 0; i < bills; ++i) {
      LedgerEntry e;
      e.bill = Bill(i);
      e.state = BillState::kBaseline;
      records.push_back(e.bill);
      entries.push_back(std::move(e));
    }
    ledger.Insert(entries);
    list.AppendAll(records);
    model = std::make_unique<BillListModel>(ledger);
    model->Show(&list);
    view.reset(CreateBillListView(nullptr, model.get()));
    view->resize(750, 584);
    view->show();
    QApplication::processEvents();
  }
  ~Fixture() {
    view.reset();
    ledger.Close();
    std::filesystem::remove_all(dir);
  }
  std::filesystem::path dir;
  Ledger ledger;
  BillList list;
  std::unique_ptr<BillListModel> model;
  std::unique_ptr<QTableView> view;
};

// What the pass thread does with a new bill: record it, then put it on the list.
void PassFindsABill(Fixture& f, int& n) {
  std::vector<LedgerEntry> fresh(1);
  fresh[0].bill = Bill(++n);
  fresh[0].state = BillState::kSent;
  f.ledger.Insert(fresh);
  f.list.PushFront(fresh[0].bill);
}

// The UI thread's whole share: the model takes the row and the view lays out and paints.
void BM_OneNewBill(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  int n = 1 << 24;
  for (auto _ : state) {
    state.PauseTiming();
    PassFindsABill(f, n);
    state.ResumeTiming();
    f.model->Sync();
    QApplication::processEvents();
  }
}

// The model's share alone.
void BM_SyncOnly(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  int n = 1 << 24;
  for (auto _ : state) {
    state.PauseTiming();
    PassFindsABill(f, n);
    state.ResumeTiming();
    f.model->Sync();
    state.PauseTiming();
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SyncOnly)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneNewBill)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeList(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    f.model->Show(&f.list);
    QApplication::processEvents();
  }
}
BENCHMARK(BM_WholeList)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace fahuo

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
