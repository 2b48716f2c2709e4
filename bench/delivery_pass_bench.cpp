// A delivery pass's own work (scrape page 1, walk it against AllBills, match rules and
// derive addresses), network left out: its cost must not grow with the bills of the run.
#include <benchmark/benchmark.h>

#include <string>

#include "capture/bill_list.h"
#include "delivery/delivery_pass.h"
#include "platform/gbk.h"
#include "rules/delivery_rule.h"

namespace fahuo {
namespace {

class NullWindow : public DeliveryWindow {
 public:
  std::string ServerText() override { return "127.0.0.1"; }
  std::string UserText() override { return "seller@example.com"; }
  std::string PasswordText() override { return {}; }
  bool AllBillsSelected() override { return true; }
  bool NewBillsSelected() override { return false; }
  void AppendLog(const std::string& line) override { benchmark::DoNotOptimize(line.data()); }
  void ShowMessage(const std::string&) override {}
  void RefreshBillList(bool) override {}
};

std::string Row(const std::string& serial, const std::string& name) {
  return "<tr>\r\n<td>2015.01.06 12:00</td>\r\n<td>" + Utf8ToGbk("教程") + "</td>\r\n<td><p>" +
         name + "</p><p title=\"" + serial + "\">" + serial + "</p></td>\r\n<td>" +
         Utf8ToGbk("张*三") +
         "</td>\r\n<td><span>+ 98.00</span></td>\r\n<td><a href=\"/d?no=" + serial +
         "\">x</a></td>\r\n<td>ok</td>\r\n<td>-</td>\r\n</tr>\r\n";
}

// Page 1 as the service shows it: `fresh` new rows on top of 20 known ones.
std::string Page(int fresh, long long& next_serial) {
  std::string page = "<table><tr><th>h</th></tr>\r\n";
  for (int i = 0; i < fresh; ++i) {
    page += Row("N" + std::to_string(next_serial++), i % 2 ? "QQ 123456789" : "a@example.com");
  }
  for (int i = 0; i < 20; ++i) page += Row("K" + std::to_string(i), "QQ 123456789");
  return page + "</table>";
}

void FillAllBills(size_t count) {
  AllBills().Clear();
  NewBills().Clear();
  BillRecord bill;
  for (size_t i = 0; i < count; ++i) {
    bill.流水号 = "K" + std::to_string(i);  // K0..K19 are the known rows of the page
    AllBills().Append(bill);
  }
}

void BM_DeliveryPass(benchmark::State& state) {
  const size_t known = static_cast<size_t>(state.range(0));
  const int fresh = static_cast<int>(state.range(1));
  FillAllBills(known);
  ReplaceRules({{0, 50, "a", "a"}, {60, 100, "b", "b"}, {90, 200, "c", "c"}});
  NullWindow window;
  long long next_serial = 0;
  std::string page;
  DeliveryServices services;
  services.fetch_page = [&page] { return page; };
  services.connect = [](const std::string&, const std::string&, const std::string&) {
    return true;
  };
  services.send = [](const std::string&, const std::string&, const std::string&,
                     const std::string&) { return std::string(); };
  for (auto _ : state) {
    state.PauseTiming();
    if (AllBills().Count() > known + 500) FillAllBills(known);  // keep the size near N
    page = Page(fresh, next_serial);
    state.ResumeTiming();
    RunDeliveryPass(window, services);
  }
  state.SetLabel(std::to_string(known) + " bills known, " + std::to_string(fresh) + " new");
}

BENCHMARK(BM_DeliveryPass)
    ->ArgNames({"known", "new"})
    ->Args({100, 0})
    ->Args({100000, 0})
    ->Args({100, 5})
    ->Args({100000, 5});

}  // namespace
}  // namespace fahuo
