#include "delivery/records_reader.h"

#include <set>

#include "capture/record_scraper.h"
#include "delivery/run_alone.h"
#include "ledger/payment_status.h"
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
    // No ledger (a busy file, retried): the payments wait on the pages, unread.
    if (baseline_.Loaded() && !orders_.stopping.load() && orders_.ledger.IsOpen()) {
      recorded = ReadPage1(out, fetch);
    }
  });
  if (found) *found = recorded;
  return ran;
}

void RecordsReader::NotTheRecordsPage(const DeliveryOutlet& out, const std::string& page) {
  // An empty answer is a failed fetch (a 500, a dropped connection): no sign of a lapse.
  if (page.empty()) return;
  if (!LooksLikeSignInPage(page)) {
    // The service's own page (a slider, "操作频繁"): it is solved in the browser, and reading
    // on at every refresh would only make it worse.
    if (++odd_pages_ < kVerificationAfterPages || verifying_.exchange(true)) return;
    out.view.AppendLog(
        FAHUO_GBK("交易记录页面要求安全验证（或提示操作频繁），请在左侧网页中完成验证；"
                  "完成之前每分钟只读取一次交易记录") +
        Eol());
    out.view.Notify(FAHUO_GBK("需要安全验证"),
                    FAHUO_GBK("请在发货程序的网页中完成收款账户的安全验证，之后继续发货"));
    out.events.VerificationNeeded(true);
    return;
  }
  odd_pages_ = 0;
  // A sign-in page for a minute is a lapse.
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
  const int64_t now = orders_.clock.TickMs();
  const bool asked = read_soon_.exchange(false);
  if (HeldBack() && next_read_ms_ && now < *next_read_ms_ && !asked) return 0;
  const std::string page = fetch(address);
  std::vector<BillRecord> rows;
  if (!ReadRecordsPage(page, rows)) {
    NotTheRecordsPage(out, page);
    if (HeldBack()) next_read_ms_ = now + kHeldBackReadMs;
    return 0;
  }
  not_records_since_.reset();
  next_read_ms_.reset();
  odd_pages_ = 0;
  if (verifying_.exchange(false)) {
    out.view.AppendLog(FAHUO_GBK("交易记录恢复正常，按刷新间隔读取") + Eol());
    out.events.VerificationNeeded(false);
  }
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
  const Found found = TakeNewBills(rows, page, address, fetch);
  const size_t orders = Record(found, out);
  FollowAwaiting(found.rows_read, out);
  return orders;
}

RecordsReader::Found RecordsReader::TakeNewBills(const std::vector<BillRecord>& page1_rows,
                                                 const std::string& page1,
                                                 const std::string& address,
                                                 const PageFetcher& fetch) {
  Found found;
  // A walk cut short before (a failed page, the page limit, a quit) is owed first: down to
  // the newest bill known before that burst, passing over the bills of the burst recorded
  // since.
  const std::optional<std::string> owed = orders_.ledger.CatchUpTarget();
  std::set<std::string> taken;
  bool reached = false;  // a bill known before this burst: the pages below are read already
  auto walk = [&](const std::vector<BillRecord>& rows) {
    for (const BillRecord& bill : rows) {
      found.rows_read.push_back(bill);
      // A row twice on the pages (a payment came between two pages and shifted the
      // listing down) is passed over, not taken for the end of the burst.
      if (taken.count(bill.流水号)) continue;
      if (orders_.Known(bill.流水号)) {
        if (owed ? bill.流水号 == *owed : true) reached = true;
        continue;
      }
      // Unknown wherever it stands: a trade created earlier may be paid later and be listed
      // below a bill already known.
      taken.insert(bill.流水号);
      found.fresh.push_back(bill);
    }
  };
  walk(page1_rows);
  std::string page = page1;
  std::string current = address;
  std::set<std::string> visited{current};
  int n = 0;
  for (; !reached && n < kMaxCatchUpPages && !orders_.stopping.load(); ++n) {
    current = NextPageAddress(page, current, visited);
    if (current.empty()) {
      reached = true;  // the last page: nothing lies further down
      break;
    }
    if (!orders_.pace.Wait()) break;  // quitting
    page = fetch(current);
    std::vector<BillRecord> rows;
    if (!ScrapeRecordTable(page, rows) || rows.empty()) break;
    walk(rows);
  }
  if (reached) {
    if (owed) found.catch_up_to = std::string();  // the owed walk is done
  } else if (owed && n >= kMaxCatchUpPages) {
    // The bill owed lies beyond the limit, or left the listing: walking the whole limit at
    // every refresh is what gets a payment account limited. The seller checks the rest.
    found.catch_up_to = std::string();
    found.gave_up = true;
  } else if (!owed) {
    // Cut short: the next read, also after a restart, goes on down to the bill that was
    // newest before this burst.
    found.catch_up_to = orders_.ledger.NewestSerial().value_or(std::string());
  }
  return found;
}

void RecordsReader::FollowAwaiting(const std::vector<BillRecord>& rows, const DeliveryOutlet& out) {
  if (!awaiting_loaded_) {
    for (const LedgerEntry& e : orders_.ledger.WithStates({BillState::kAwaiting})) {
      awaiting_.insert(e.bill.流水号);
    }
    awaiting_loaded_ = true;
  }
  if (awaiting_.empty()) return;
  bool changed = false;
  for (const BillRecord& row : rows) {
    if (!awaiting_.count(row.流水号)) continue;
    const BillState now = StateOfNewRow(row);
    if (now == BillState::kAwaiting) continue;
    const std::optional<LedgerEntry> found = orders_.ledger.Find(row.流水号);
    if (!found || found->state != BillState::kAwaiting) {
      awaiting_.erase(row.流水号);  // the seller settled it meanwhile
      continue;
    }
    LedgerEntry e = *found;
    e.state = now;
    e.skip_reason = now == BillState::kPending ? std::string() : row.状态;
    const Ledger::UpdateResult written = orders_.ledger.UpdateIfUnchanged(e, *found);
    if (written == Ledger::UpdateResult::kFailed) {
      ledger_failure_.Report(out, orders_.ledger);
      continue;  // watched again at the next read
    }
    awaiting_.erase(row.流水号);
    if (written != Ledger::UpdateResult::kWritten) continue;
    changed = true;
    if (now == BillState::kPending) {
      orders_.new_bills.Append(e.bill);
      out.view.AppendLog(FAHUO_GBK("买家已付款，等待发送：") + row.流水号 + Eol());
    } else {
      out.view.AppendLog(FAHUO_GBK("交易未付款（") + row.状态 + FAHUO_GBK("），不发货：") +
                         row.流水号 + Eol());
    }
  }
  if (changed) out.events.BillsChanged();
}

size_t RecordsReader::Record(const Found& found, const DeliveryOutlet& out) {
  const std::vector<BillRecord>& fresh = found.fresh;
  if (fresh.empty() && !found.catch_up_to) return 0;
  const int64_t now = orders_.clock.UnixSeconds();
  const BillOrigin origin = found_after_lapse_ ? BillOrigin::kLapse : BillOrigin::kPass;
  std::vector<LedgerEntry> entries;
  for (const BillRecord& bill : fresh) {
    LedgerEntry e;
    e.bill = bill;
    e.first_seen = now;
    e.origin = origin;
    // Only a completed incoming payment is an order; the rest are recorded, not mailed.
    e.state = StateOfNewRow(bill);
    if (e.state == BillState::kNotPaid || e.state == BillState::kUnconfirmed) {
      e.skip_reason = bill.状态;
    }
    entries.push_back(std::move(e));
  }
  // Pending is on disk before anything is mailed, with what the walk still owes; when it
  // cannot be, nothing is, and the same rows are found again by the next read.
  if (!orders_.ledger.Insert(entries, found.catch_up_to ? &*found.catch_up_to : nullptr)) {
    ledger_failure_.Report(out, orders_.ledger);
    return 0;
  }
  if (found.gave_up) {
    out.view.AppendLog(FAHUO_GBK("交易记录太多，未能读到上次中断处，请在交易记录中核对 ") +
                       std::to_string(kMaxCatchUpPages) + FAHUO_GBK(" 页之后是否有未发货的付款") +
                       Eol());
    out.view.Notify(FAHUO_GBK("可能有漏读的付款"),
                    FAHUO_GBK("交易记录太多，未能读完，请核对是否有未发货的付款"));
  }
  if (found.catch_up_to && !found.catch_up_to->empty() && !owed_noted_) {
    owed_noted_ = true;
    out.view.AppendLog(
        FAHUO_GBK("交易记录未能读完（有页面读取失败或页数过多），下次刷新继续往下读") + Eol());
  } else if (found.catch_up_to && found.catch_up_to->empty()) {
    owed_noted_ = false;
  }
  found_after_lapse_ = false;
  ledger_failure_.Clear();
  size_t orders = 0;
  for (const LedgerEntry& e : entries) {
    if (e.state == BillState::kAwaiting) awaiting_.insert(e.bill.流水号);
    if (e.state == BillState::kUnconfirmed) {
      out.view.AppendLog(FAHUO_GBK("付款状态无法识别（") + e.bill.状态 +
                         FAHUO_GBK("），未发货，请核对后重新发送或标记为已处理：") + e.bill.流水号 +
                         Eol());
    }
    if (e.state != BillState::kPending) continue;
    orders_.new_bills.Append(e.bill);
    ++orders;
  }
  orders_.all_bills.PushFrontAll(fresh);  // page order: the newest stays at the top
  if (!fresh.empty()) out.events.BillsChanged();
  return orders;
}

}  // namespace fahuo
