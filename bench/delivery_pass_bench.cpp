// A delivery pass's own work (scrape page 1, walk it against the ledger, look for due bills;
// with new bills also record, match rules, derive addresses), network left out: a pass with
// nothing new and nothing due must cost the same with 100 or 1,000,000 bills in the ledger.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "delivery/shop.h"
#include "platform/gbk.h"
#include "rules/delivery_rule.h"

namespace fahuo {
namespace {

class NullWindow : public SellerView, public DeliveryEvents {
 public:
  void AppendLog(const std::string& line) override { benchmark::DoNotOptimize(line.data()); }
  void ShowMessage(const std::string&) override {}
  void BillsChanged() override {}
  void SignInLapsed() override {}
  void SignInRestored() override {}
  void HeldPaymentsFound(size_t) override {}
};

class NullSink : public RecordPagesSink {
 public:
  void Progress(int, size_t) override {}
  void Finished() override {}
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
  std::string page = Utf8ToGbk("<table><tr><th>时间</th><th>金额</th></tr>\r\n");
  for (int i = 0; i < fresh; ++i) {
    page += Row("N" + std::to_string(next_serial++), i % 2 ? "QQ 123456789" : "a@example.com");
  }
  for (int i = 0; i < 20; ++i) page += Row("K" + std::to_string(i), "QQ 123456789");
  return page + "</table>";
}

// A shop whose ledger already holds `known` baseline bills K0, K1, ...; built once per size.
Shop& ShopWith(size_t known) {
  static std::map<size_t, std::unique_ptr<Shop>> shops;
  auto& shop = shops[known];
  if (shop) return *shop;
  const std::string dir = std::filesystem::temp_directory_path() /
                          ("fahuo-bench-" + std::to_string(getpid()) + "-" + std::to_string(known));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  shop = std::make_unique<Shop>();
  shop->Open(dir + "/fahuo.db");
  std::vector<LedgerEntry> entries(known);
  for (size_t i = 0; i < known; ++i) {
    entries[i].bill.流水号 = "K" + std::to_string(i);
    entries[i].state = BillState::kBaseline;
    entries[i].origin = BillOrigin::kBaseline;
  }
  shop->ledger().Insert(entries);
  long long unused = 0;
  const std::string page = Page(0, unused);
  NullSink sink;
  shop->baseline().Begin();
  shop->baseline().Load(sink, [page](const std::string&) { return page; });
  return *shop;
}

void BM_DeliveryPass(benchmark::State& state) {
  const size_t known = static_cast<size_t>(state.range(0));
  const int fresh = static_cast<int>(state.range(1));
  Shop& shop = ShopWith(known);
  shop.rules().Replace({{0, 50, "a", "a"}, {60, 100, "b", "b"}, {90, 200, "c", "c"}});
  NullWindow window;
  static long long next_serial = 0;
  std::string page;
  DeliveryServices services;
  services.fetch = [&page](const std::string&) { return page; };
  services.connect = [](const MailAccount&) { return std::string(); };
  services.send = [](const std::string&, const std::string&, const std::string&,
                     const std::string&) { return std::string(); };
  const MailAccount account{"127.0.0.1", "seller@example.com", ""};
  for (auto _ : state) {
    state.PauseTiming();
    page = Page(fresh, next_serial);
    state.ResumeTiming();
    shop.RunPass(account, window, services);
  }
  state.SetLabel(std::to_string(known) + " bills in the ledger, " + std::to_string(fresh) + " new");
}

BENCHMARK(BM_DeliveryPass)
    ->ArgNames({"known", "new"})
    ->Args({100, 0})
    ->Args({1000000, 0})
    ->Args({100, 5});

}  // namespace
}  // namespace fahuo
