#pragma once
// Shared pieces of the delivery-pass tests: a recording window and a records page builder.
#include <mutex>
#include <string>
#include <vector>

#include "capture/bill_list.h"
#include "capture/navigation.h"
#include "delivery/delivery_pass.h"
#include "delivery/shop.h"
#include "fake_clock.h"
#include "platform/gbk.h"
#include "rules/delivery_rule.h"
#include "test_support.h"

namespace fahuo::testing {

// Records every call in one timeline, texts turned into UTF-8: "log:<line>",
// "box:<text>", "changed", "lapsed", "restored", "held:<n>", "notify:<title>"; plus
// "mail:<recipient>" entries that a fake mailer adds. Thread-safe.
class RecordingWindow : public SellerView, public DeliveryEvents {
 public:
  void AppendLog(const std::string& gbk_line) override { Add("log:" + GbkToUtf8(gbk_line)); }
  void ShowMessage(const std::string& gbk_text) override { Add("box:" + GbkToUtf8(gbk_text)); }
  void BillsChanged() override { Add("changed"); }
  void SignInLapsed() override { Add("lapsed"); }
  void SignInRestored() override { Add("restored"); }
  void HeldPaymentsFound(size_t count) override { Add("held:" + std::to_string(count)); }
  void Notify(const std::string& gbk_title, const std::string&) override {
    Add("notify:" + GbkToUtf8(gbk_title));
  }

  void Add(const std::string& event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void ClearEvents() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
};

// One row of a records page; texts UTF-8.
struct PageRow {
  std::string serial;
  std::string name = "QQ 123456789";
  std::string amount = "98.00";
  std::string note = "教程";
  std::string counterparty = "张三";
  std::string status = "交易成功";
};

// A records page in the service's shape: a header row, then one eight-cell row per bill.
// Returns GBK bytes, as the service sends them.
inline std::string BuildPage(const std::vector<PageRow>& rows) {
  std::string page =
      "<html><body><table>\r\n<tr><th>时间</th><th>备注</th><th>名称</th><th>对方</th>"
      "<th>金额</th><th>明细</th><th>状态</th><th>操作</th></tr>\r\n";
  for (const PageRow& r : rows) {
    page += "<tr>\r\n<td>2015.01.06<br/>12:00</td>\r\n<td>" + r.note + "</td>\r\n<td><p>" + r.name +
            "</p><p title=\"" + r.serial + "\">" + r.serial + "</p></td>\r\n<td>" + r.counterparty +
            "</td>\r\n<td><span>" + r.amount +
            "</span></td>\r\n<td><a href=\"/detail?no=" + r.serial + "\">详情</a></td>\r\n<td>" +
            r.status + "</td>\r\n<td>-</td>\r\n</tr>\r\n";
  }
  return Utf8ToGbk(page + "</table></body></html>");
}

inline BillRecord KnownBill(const std::string& serial) {
  BillRecord bill;
  bill.流水号 = serial;
  return bill;
}

inline std::vector<std::string> Serials(const BillList& list) {
  std::vector<std::string> serials;
  for (const BillRecord& bill : list.Snapshot()) serials.push_back(bill.流水号);
  return serials;
}

inline DeliveryRule Rule(float minimum, float maximum, const std::string& utf8_subject) {
  return DeliveryRule{minimum, maximum, Utf8ToGbk(utf8_subject), Utf8ToGbk("正文 " + utf8_subject)};
}

inline MailAccount TestAccount() { return {"127.0.0.1:1", "seller@example.com", "secret"}; }

class NullSink : public RecordPagesSink {
 public:
  void Progress(int, size_t) override {}
  void Finished() override {}
};

// A shop on a ledger in a folder of its own. `Restart()` builds a new shop on the same
// ledger, as a new start of the program would.
class ShopHarness {
 public:
  explicit ShopHarness(ShopOptions options = {}) : options_(std::move(options)) {
    options_.page_gap_ms = 0;               // no test waits for the pace between pages
    clock.SetToday(SystemClock().Today());  // the fake records service lists today's bills
    Restart();
  }
  Shop& shop() { return *shop_; }
  void Restart() {
    // A new start loads the same rule table: the rules carry over.
    RuleListSnapshot rules = shop_ ? shop_->rules().Current() : nullptr;
    shop_.reset();
    shop_ = std::make_unique<Shop>(&clock, options_);
    if (rules) shop_->rules().Replace(*rules);
    report = shop_->Open(folder.File("fahuo.db"));
  }
  // Loads the baseline from `fetch` (page 1 and what its pager leads to).
  void LoadBaseline(const PageFetcher& fetch) {
    NullSink sink;
    shop_->baseline().Begin();
    shop_->baseline().Load(sink, fetch);
  }
  void LoadBaseline(const std::string& page1) {
    LoadBaseline([page1](const std::string&) { return page1; });
  }
  std::string State(const std::string& serial) {
    auto e = shop_->ledger().Find(Utf8ToGbk(serial));
    return e ? std::string(StateName(e->state)) : "none";
  }

  FakeClock clock;
  TempDir folder;
  Shop::OpenReport report;

 private:
  ShopOptions options_;
  std::unique_ptr<Shop> shop_;
};

}  // namespace fahuo::testing
