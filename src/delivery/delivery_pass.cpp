#include "delivery/delivery_pass.h"

#include <optional>
#include <set>

#include "capture/record_scraper.h"
#include "delivery/amount.h"
#include "delivery/mail_setup.h"
#include "delivery/placeholders.h"
#include "delivery/recipient.h"
#include "delivery/shop.h"
#include "delivery/shop_internal.h"
#include "platform/gbk.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"
#include "rules/delivery_rule.h"
#include "rules/rule_entry.h"

namespace fahuo {
namespace {

using shop_internal::Eol;
using shop_internal::RunAlone;

std::string HeldPaymentsNotice(size_t held) {
  return FAHUO_GBK("有 ") + std::to_string(held) + FAHUO_GBK(" 笔付款是在发货程序未运行时收到的");
}

}  // namespace

DeliveryServices WithDefaultServices(const DeliveryServices& given) {
  DeliveryServices s = given;
  if (!s.fetch) s.fetch = [](const std::string& address) { return HttpGet(address); };
  if (!s.connect) {
    s.connect = [](const MailAccount& a) -> std::string {
      if (mail::Connect(a.server, a.user, a.password)) return {};
      std::string why = mail::LastConnectError();
      return why.empty() ? FAHUO_GBK("连接邮箱服务器失败") : why;
    };
  }
  if (!s.send) s.send = mail::Send;
  return s;
}

bool SendErrorIsTemporary(const std::string& error) {
  const int code = mail::ReplyCode(error);
  if (code >= 500 && code < 600) return false;
  if (code >= 400 && code < 500) return true;
  // Refused before anything went out (a line break in an address or the subject): trying
  // again cannot help.
  if (error.find(FAHUO_GBK("未发送")) != std::string::npos) return false;
  return true;  // the connection dropped, timed out, or could not be made
}

int64_t RetryDelaySeconds(int attempts) {
  int64_t delay = 60;
  for (int i = 1; i < attempts && delay < 1800; ++i) delay *= 2;
  return delay < 1800 ? delay : 1800;
}

bool Shop::RunPass(const MailAccount& account, DeliveryWindow& window,
                   const DeliveryServices& given) {
  return RunAlone(busy_, [&] {
    DeliveryServices services = WithDefaultServices(given);
    if (baseline_loaded_.load() && !stopping_.load()) ReadPage1(window, services);
    if (!stopping_.load()) DeliverDue(account, window, services);
  });
}

std::vector<BillRecord> Shop::TakeNewBills(const std::vector<BillRecord>& page1_rows,
                                           const std::string& page1, const std::string& address,
                                           const DeliveryServices& services) {
  std::vector<BillRecord> fresh;
  std::set<std::string> taken;  // a serial twice on the pages stops the walk at the second
  auto walk = [&](const std::vector<BillRecord>& rows) {
    for (const BillRecord& bill : rows) {
      if (taken.count(bill.流水号) || Known(bill.流水号)) return false;
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
  for (int n = 0; n < kMaxCatchUpPages && !stopping_.load(); ++n) {
    current = NextPageAddress(page, current, visited);
    if (current.empty()) break;
    page = services.fetch(current);
    std::vector<BillRecord> rows;
    if (!ScrapeRecordTable(page, rows) || !walk(rows)) break;
  }
  return fresh;
}

void Shop::ReadPage1(DeliveryWindow& window, const DeliveryServices& services) {
  const std::string address = CurrentRecordsAddress();
  if (address.empty()) return;
  const std::string page = services.fetch(address);
  std::vector<BillRecord> rows;
  if (!ReadRecordsPage(page, rows)) {
    // An empty answer is a failed fetch (a 500, a dropped connection): no sign of a lapse.
    // A page that stays something else than the records page for a minute is one.
    if (page.empty()) return;
    const int64_t now = clock().TickMs();
    if (!not_records_since_) not_records_since_ = now;
    if (!lapsed_.load() && now - *not_records_since_ >= kLapseAfterMs) {
      lapsed_.store(true);
      window.AppendLog(FAHUO_GBK("登录已失效，请在左侧网页重新登录；登录后继续发货") + Eol());
      window.Notify(FAHUO_GBK("登录已失效"), FAHUO_GBK("请在发货程序中重新登录，登录后继续发货"));
      window.SignInLapsed();
    }
    return;
  }
  not_records_since_.reset();
  last_records_read_.store(clock().UnixSeconds());
  if (lapsed_.exchange(false)) {
    found_after_lapse_.store(true);
    window.AppendLog(FAHUO_GBK("已重新登录，继续发货") + Eol());
    window.SignInRestored();
  }
  if (baseline_missing_.load()) {
    size_t held = KeepBaseline(rows, &window);
    baseline_missing_.store(false);
    window.AppendLog(FAHUO_GBK("交易记录首页已读取，作为基线：") + std::to_string(rows.size()) +
                     FAHUO_GBK(" 笔账单") + Eol());
    window.BillsChanged();
    if (held) {
      window.Notify(FAHUO_GBK("有未发货的付款"), HeldPaymentsNotice(held));
      window.HeldPaymentsFound(held);
    }
    return;
  }
  std::vector<BillRecord> fresh = TakeNewBills(rows, page, address, services);
  if (fresh.empty()) return;
  const int64_t now = clock().UnixSeconds();
  const BillOrigin origin =
      found_after_lapse_.exchange(false) ? BillOrigin::kLapse : BillOrigin::kPass;
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
  // same rows are found again by the next pass.
  if (!ledger_.Insert(entries)) {
    LedgerWriteFailed(window);
    return;
  }
  ledger_failure_logged_ = false;
  for (const BillRecord& bill : fresh) {
    new_bills_.Append(bill);
    all_bills_.PushFront(bill);
  }
  window.BillsChanged();
}

void Shop::LedgerWriteFailed(DeliveryWindow& window) {
  if (ledger_failure_logged_) return;
  ledger_failure_logged_ = true;
  window.AppendLog(FAHUO_GBK("发货记录无法写入，暂不发送邮件：") + Utf8ToGbk(ledger_.LastError()) +
                   Eol());
}

void Shop::DeliverDue(const MailAccount& account, DeliveryWindow& window,
                      const DeliveryServices& services) {
  const int64_t now = clock().UnixSeconds();
  std::vector<LedgerEntry> due = ledger_.Due(now);
  if (due.empty()) return;
  const std::string why = services.connect(account);
  if (!why.empty()) {
    for (LedgerEntry& e : due) {
      const LedgerEntry taken = e;
      e.state = BillState::kRetrying;
      ++e.attempts;
      e.next_try = now + RetryDelaySeconds(e.attempts);
      e.last_error = why;
      // A bill the seller changed while we connected stays as the seller left it.
      if (ledger_.UpdateIfUnchanged(e, taken) == Ledger::UpdateResult::kFailed) {
        LedgerWriteFailed(window);
      }
    }
    // Once per outage: passes go on reading pages and recording bills meanwhile. The log
    // (and so the kept log file) records when mailing stopped and started again.
    if (!outage_shown_) {
      outage_shown_ = true;
      window.AppendLog(FAHUO_GBK("连接邮箱失败，稍后自动重试：") + MailFailureText(why) + Eol());
      window.ShowMessage(FAHUO_GBK("连接邮箱失败") + "\n" + MailFailureText(why));
    }
    return;
  }
  if (outage_shown_) window.AppendLog(FAHUO_GBK("邮箱已恢复连接，继续发送") + Eol());
  outage_shown_ = false;
  bool changed = false;
  for (LedgerEntry& e : due) {
    if (stopping_.load()) break;
    changed = true;
    if (!DeliverOne(e, account, window, services)) break;
  }
  if (changed) window.BillsChanged();
}

bool Shop::DeliverOne(LedgerEntry& e, const MailAccount& account, DeliveryWindow& window,
                      const DeliveryServices& services) {
  const BillRecord& bill = e.bill;
  // The first write goes through only while the bill is as it was read: when the seller
  // changed it meanwhile, the next delivery takes it as the seller left it.
  std::optional<LedgerEntry> taken = e;
  bool stale = false;
  auto settle = [&](BillState state, const char* reason) {
    e.state = state;
    e.skip_reason = reason ? reason : "";
    Ledger::UpdateResult result = Ledger::UpdateResult::kFailed;
    if (taken) {
      result = ledger_.UpdateIfUnchanged(e, *taken);
      taken.reset();
    } else if (ledger_.Update(e)) {
      result = Ledger::UpdateResult::kWritten;
    }
    if (result == Ledger::UpdateResult::kChanged) stale = true;
    if (result != Ledger::UpdateResult::kFailed) return true;
    LedgerWriteFailed(window);
    return false;
  };
  // A bill the seller sent again keeps its recipient but takes the rule that matches now.
  const bool fresh = e.recipient.empty();
  if (fresh || (e.rule_subject.empty() && e.rule_body.empty())) {
    if (fresh) {
      window.AppendLog(FAHUO_GBK("发现新账单") + Eol());
      window.AppendLog(FAHUO_GBK("对方是：") + bill.对方 + Eol());
    } else {
      window.AppendLog(FAHUO_GBK("重新发送：") + bill.流水号 + Eol());
    }
    const std::optional<float> readable = ReadAmount(bill.金额);
    if (!readable) {
      // An amount the page does not show as a number must not be matched as 0.
      window.AppendLog(FAHUO_GBK("金额无法识别，未发送：") + bill.流水号 + Eol());
      return settle(BillState::kSkipped, skip::kBadAmount);
    }
    const float amount = *readable;
    const std::string amount_line = FAHUO_GBK("对方金额是：") + AmountToText(amount) +
                                    FAHUO_GBK(" 正在为您匹配发件规则") + Eol();
    RuleListSnapshot rules = CurrentRules();  // taken per bill: a save may replace the list
    const DeliveryRule* matched = nullptr;
    for (const DeliveryRule& rule : *rules) {
      window.AppendLog(amount_line);
      if (amount > rule.maximum || amount < rule.minimum) continue;
      matched = &rule;
      break;
    }
    if (!matched) {
      window.AppendLog(FAHUO_GBK("没有匹配的发货规则，未发送：") + bill.流水号 + Eol());
      return settle(BillState::kSkipped, skip::kNoRule);
    }
    Recipient recipient{Recipient::Kind::kMailAddress, e.recipient};
    if (fresh) recipient = RecipientFor(bill.名称, bill.备注);
    switch (recipient.kind) {
      case Recipient::Kind::kSkipNoNote:
        window.AppendLog(FAHUO_GBK("对方为留言，自动跳过发送邮件") + Eol());
        return settle(BillState::kSkipped, skip::kNoNote);
      case Recipient::Kind::kSkipNotQq:
        window.AppendLog(FAHUO_GBK("对方留言的不是QQ号码，自动跳过不发送邮件") + Eol());
        return settle(BillState::kSkipped, skip::kNotQq);
      case Recipient::Kind::kSkipInvalidAddress:
        window.AppendLog(InvalidAddressSkipText() + Eol());
        return settle(BillState::kSkipped, skip::kInvalidAddress);
      case Recipient::Kind::kQqNumber:
        window.AppendLog(FAHUO_GBK("对方留言的不是邮箱信息，自动添加 ") + "@" +
                         std::string(kQqMailDomain) + Eol());
        break;
      case Recipient::Kind::kMailAddress:
        break;
    }
    e.recipient = recipient.address;
    e.rule_subject = matched->subject;
    e.rule_body = matched->body;
  } else {
    window.AppendLog(FAHUO_GBK("重新发送：") + bill.流水号 + Eol());
  }
  window.AppendLog(FAHUO_GBK("发送的邮箱地址是：") + e.recipient + Eol());
  // "sending" is on disk before the mail's DATA: a crash from here on can never lead to a
  // second mail, only to a bill shown as unknown.
  ++e.attempts;
  if (!settle(BillState::kSending, nullptr)) return false;
  if (stale) return true;
  // Placeholders are filled per bill; a rule without braces goes out exactly as stored.
  const std::string error =
      services.send(ExpandPlaceholders(e.rule_subject, bill), ExpandPlaceholders(e.rule_body, bill),
                    e.recipient, account.user);
  const int64_t now = clock().UnixSeconds();
  if (error.empty()) {
    window.AppendLog(FAHUO_GBK("发送邮件成功") + Eol());
    e.sent_at = now;
    e.last_error.clear();
    return settle(BillState::kSent, nullptr);
  }
  window.AppendLog(FAHUO_GBK("发送失败，错误：") + error + FAHUO_GBK("（流水号 ") + bill.流水号 +
                   FAHUO_GBK("）") + Eol());
  e.last_error = error;
  if (SendErrorIsTemporary(error)) {
    e.next_try = now + RetryDelaySeconds(e.attempts);
    return settle(BillState::kRetrying, nullptr);
  }
  window.Notify(FAHUO_GBK("发送失败"), FAHUO_GBK("流水号 ") + bill.流水号 +
                                           FAHUO_GBK(" 的邮件未能发出：") + MailFailureText(error));
  return settle(BillState::kFailed, nullptr);
}

}  // namespace fahuo
