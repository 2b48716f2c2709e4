#include "delivery/records_reader.h"

#include <set>

#include "capture/record_scraper.h"
#include "delivery/run_alone.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

using delivery_internal::Eol;

std::string HeldPaymentsNotice(size_t held) {
  return FAHUO_GBK("有 ") + std::to_string(held) + FAHUO_GBK(" 笔付款是在发货程序未运行时收到的");
}

}  // namespace

bool RecordsReader::ReadOnce(const DeliveryOutlet& out, const PageFetcher& fetch, size_t* found) {
  size_t recorded = 0;
  const bool ran = delivery_internal::RunAlone(busy_, [&] {
    if (baseline_.Loaded() && !orders_.stopping.load()) recorded = ReadPage1(out, fetch);
  });
  if (found) *found = recorded;
  return ran;
}

void RecordsReader::NotTheRecordsPage(const DeliveryOutlet& out, bool empty_answer) {
  // An empty answer is a failed fetch (a 500, a dropped connection): no sign of a lapse. A
  // page that stays something else than the records page for a minute is one.
  if (empty_answer) return;
  const int64_t now = orders_.clock.TickMs();
  if (!not_records_since_) not_records_since_ = now;
  if (lapsed_.load() || now - *not_records_since_ < kLapseAfterMs) return;
  lapsed_.store(true);
  out.view.AppendLog(FAHUO_GBK("登录已失效，请在左侧网页重新登录；登录后继续发货") + Eol());
  out.view.Notify(FAHUO_GBK("登录已失效"), FAHUO_GBK("请在发货程序中重新登录，登录后继续发货"));
  out.events.SignInLapsed();
}

void RecordsReader::TakeAsBaseline(const std::vector<BillRecord>& rows, const DeliveryOutlet& out) {
  const std::optional<size_t> held = baseline_.TakeFromPage1(rows);
  if (!held) ledger_failure_.Report(out, orders_.ledger);
  out.view.AppendLog(FAHUO_GBK("交易记录首页已读取，作为基线：") + std::to_string(rows.size()) +
                     FAHUO_GBK(" 笔账单") + Eol());
  out.events.BillsChanged();
  if (held && *held) {
    out.view.Notify(FAHUO_GBK("有未发货的付款"), HeldPaymentsNotice(*held));
    out.events.HeldPaymentsFound(*held);
  }
}

size_t RecordsReader::ReadPage1(const DeliveryOutlet& out, const PageFetcher& fetch) {
  const std::string address = baseline_.CurrentRecordsAddress();
  if (address.empty()) return 0;
  const std::string page = fetch(address);
  std::vector<BillRecord> rows;
  if (!ReadRecordsPage(page, rows)) {
    NotTheRecordsPage(out, page.empty());
    return 0;
  }
  not_records_since_.reset();
  orders_.last_records_read.store(orders_.clock.UnixSeconds());
  if (lapsed_.exchange(false)) {
    found_after_lapse_ = true;
    out.view.AppendLog(FAHUO_GBK("已重新登录，继续发货") + Eol());
    out.events.SignInRestored();
  }
  if (baseline_.Missing()) {
    TakeAsBaseline(rows, out);
    return 0;
  }
  return Record(TakeNewBills(rows, page, address, fetch), out);
}

std::vector<BillRecord> RecordsReader::TakeNewBills(const std::vector<BillRecord>& page1_rows,
                                                    const std::string& page1,
                                                    const std::string& address,
                                                    const PageFetcher& fetch) {
  std::vector<BillRecord> fresh;
  std::set<std::string> taken;  // a serial twice on the pages stops the walk at the second
  auto walk = [&](const std::vector<BillRecord>& rows) {
    for (const BillRecord& bill : rows) {
      if (taken.count(bill.流水号) || orders_.Known(bill.流水号)) return false;
      taken.insert(bill.流水号);
      fresh.push_back(bill);
    }
    return !rows.empty();
  };
  if (!walk(page1_rows)) return fresh;
  // Every row of page 1 is new: more payments came than a page holds. Read on until a
  // known bill, so that none of them is missed.
  std::string page = page1;
  std::string current = address;
  std::set<std::string> visited{current};
  for (int n = 0; n < kMaxCatchUpPages && !orders_.stopping.load(); ++n) {
    current = NextPageAddress(page, current, visited);
    if (current.empty()) break;
    page = fetch(current);
    std::vector<BillRecord> rows;
    if (!ScrapeRecordTable(page, rows) || !walk(rows)) break;
  }
  return fresh;
}

size_t RecordsReader::Record(const std::vector<BillRecord>& fresh, const DeliveryOutlet& out) {
  if (fresh.empty()) return 0;
  const int64_t now = orders_.clock.UnixSeconds();
  const BillOrigin origin = found_after_lapse_ ? BillOrigin::kLapse : BillOrigin::kPass;
  std::vector<LedgerEntry> entries;
  for (const BillRecord& bill : fresh) {
    LedgerEntry e;
    e.bill = bill;
    e.first_seen = now;
    e.origin = origin;
    e.state = BillState::kPending;
    entries.push_back(std::move(e));
  }
  // Pending is on disk before anything is mailed; when it cannot be, nothing is, and the
  // same rows are found again by the next read.
  if (!orders_.ledger.Insert(entries)) {
    ledger_failure_.Report(out, orders_.ledger);
    return 0;
  }
  found_after_lapse_ = false;
  ledger_failure_.Clear();
  for (const BillRecord& bill : fresh) orders_.new_bills.Append(bill);
  orders_.all_bills.PushFrontAll(fresh);  // page order: the newest stays at the top
  out.events.BillsChanged();
  return fresh.size();
}

}  // namespace fahuo
