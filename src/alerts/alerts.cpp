#include "alerts/alerts.h"

#include <algorithm>
#include <utility>

#include "ledger/bill_state_text.h"
#include "platform/gbk.h"
#include "platform/mail_client.h"

namespace fahuo {
namespace {

std::string Title(const char* utf8) { return FAHUO_GBK("发货提醒：") + Utf8ToGbk(utf8); }

// The onset and return texts of each lasting cause.
struct CauseTexts {
  const char* title;
  const char* back_title;
  const char* back_text;
};
CauseTexts TextsOf(AlertKind kind) {
  switch (kind) {
    case AlertKind::kSignIn:
      return {"登录已失效", "已重新登录", "收款账户已重新登录，继续发货。"};
    case AlertKind::kRecords:
      return {"交易记录无法读取", "交易记录恢复读取", "交易记录又能读取了，继续发货。"};
    case AlertKind::kMailboxRefused:
      return {"邮箱拒绝发信", "邮箱恢复发信", "发信邮箱又能发信了，等待的账单继续发送。"};
    case AlertKind::kMailboxUnreachable:
      return {"无法连接邮箱", "邮箱恢复连接", "又能连接发信邮箱了，等待的账单继续发送。"};
    case AlertKind::kBillsWaiting:
      return {"有账单需要您处理", "", ""};
    case AlertKind::kSummary:
      return {"每日汇总", "", ""};
    case AlertKind::kStock:
      return {"卡密库存不足", "", ""};
    case AlertKind::kInboxRefused:
      return {"无法读取退信", "退信读取恢复", "又能登录发信邮箱的收件箱了，继续检查退信。"};
  }
  return {"", "", ""};
}

// What becomes of the bills while the first account cannot send.
const std::string& WaitingNote() {
  return FAHUO_GBK("账单在等待发送（设了备用发信邮箱的，由它发送）。");
}

std::string UnreachableText(int64_t seconds) {
  return FAHUO_GBK("已有 ") + std::to_string(seconds / 60) +
         FAHUO_GBK(" 分钟连不上发信邮箱服务器，") + WaitingNote();
}

std::string SerialList(const std::vector<std::string>& serials) {
  std::string out;
  for (size_t i = 0; i < serials.size() && i < AlertRules::kMaxSerialsNamed; ++i) {
    if (i) out += FAHUO_GBK("、");
    out += serials[i];
  }
  if (serials.size() > AlertRules::kMaxSerialsNamed) {
    out += FAHUO_GBK(" 等 ") + std::to_string(serials.size()) + FAHUO_GBK(" 笔");
  }
  return out;
}

}  // namespace

bool AlertRules::MayAlert(const Cause& cause, int64_t now) {
  return !cause.last_alert || now - *cause.last_alert >= kRepeatSeconds;
}

void AlertRules::Raise(Cause& cause, AlertKind kind, std::string text, int64_t now,
                       std::vector<Alert>& out) {
  cause.text = std::move(text);
  if (cause.active) return;
  cause.active = true;
  cause.announced = false;
  // Within 30 minutes of the last alert of this kind the onset waits for Tick.
  if (MayAlert(cause, now)) Announce(cause, kind, now, out);
}

void AlertRules::Announce(Cause& cause, AlertKind kind, int64_t now, std::vector<Alert>& out) {
  cause.announced = true;
  cause.last_alert = now;
  out.push_back({kind, false, Title(TextsOf(kind).title), cause.text});
}

void AlertRules::End(Cause& cause, AlertKind kind, std::vector<Alert>& out) {
  if (!cause.active) return;
  cause.active = false;
  if (!cause.announced) return;  // the seller never heard of it
  cause.announced = false;
  const CauseTexts t = TextsOf(kind);
  out.push_back({kind, true, Title(t.back_title), Utf8ToGbk(t.back_text)});
}

std::vector<Alert> AlertRules::SignInLapsed(int64_t now) {
  std::vector<Alert> out;
  lapsed_ = true;
  End(records_, AlertKind::kRecords, out);  // the lapse says it better
  Raise(sign_in_, AlertKind::kSignIn,
        FAHUO_GBK("收款账户的登录已失效，新的付款暂时无法发货。请在发货程序中重新登录，"
                  "登录后会补发这段时间的付款。"),
        now, out);
  return out;
}

std::vector<Alert> AlertRules::SignInRestored(int64_t now) {
  std::vector<Alert> out;
  lapsed_ = false;
  last_read_ = now;
  End(sign_in_, AlertKind::kSignIn, out);
  return out;
}

std::vector<Alert> AlertRules::RecordsRead(int64_t now) {
  std::vector<Alert> out;
  last_read_ = now;
  End(records_, AlertKind::kRecords, out);
  return out;
}

std::vector<Alert> AlertRules::MailboxAnswered(std::string_view error, int64_t now) {
  std::vector<Alert> out;
  const MailRefusal refusal = ReadMailRefusal(error);
  if (refusal == MailRefusal::kNoConnection) {
    if (!unreachable_since_) unreachable_since_ = now;
    if (now - *unreachable_since_ >= kUnreachableAfterSeconds) {
      Raise(unreachable_, AlertKind::kMailboxUnreachable,
            UnreachableText(now - *unreachable_since_), now, out);
    }
    return out;
  }
  // The server answered: whatever it said, it can be reached.
  unreachable_since_.reset();
  End(unreachable_, AlertKind::kMailboxUnreachable, out);
  if (refusal == MailRefusal::kNotTheAccount) {
    End(refused_, AlertKind::kMailboxRefused, out);
    return out;
  }
  std::string text = MailRefusalText(refusal);
  // The reply code only: the server's text may quote the account.
  if (const int code = mail::ReplyCode(error); code > 0) {
    text += FAHUO_GBK("（服务器答复 ") + std::to_string(code) + FAHUO_GBK("）");
  }
  Raise(refused_, AlertKind::kMailboxRefused, text + FAHUO_GBK("。") + WaitingNote(), now, out);
  return out;
}

std::vector<Alert> AlertRules::InboxAnswered(const std::string& account, std::string_view error,
                                             int64_t now) {
  std::vector<Alert> out;
  if (error.empty()) {
    inboxes_refused_.erase(account);
    if (inboxes_refused_.empty()) End(inbox_, AlertKind::kInboxRefused, out);
    return out;
  }
  inboxes_refused_.insert(account);
  // The account's address only: the server's words may quote more than the seller wants
  // pushed to a phone.
  Raise(inbox_, AlertKind::kInboxRefused,
        FAHUO_GBK("无法登录 ") + account +
            FAHUO_GBK(" 的收件箱读取退信（请检查授权码和收件服务器设置），退回的邮件暂时发现不了；"
                      "发货不受影响。"),
        now, out);
  return out;
}

void AlertRules::FlushWaiting(int64_t now, std::vector<Alert>& out) {
  bool any = held_ > 0;
  for (const std::vector<std::string>& bills : waiting_bills_) any = any || !bills.empty();
  if (!any || !MayAlert(waiting_, now)) return;
  std::string text;
  auto line = [&](WaitingReason why, const std::string& utf8_what) {
    std::vector<std::string>& bills = Waiting(why);
    if (bills.empty()) return;
    if (!text.empty()) text += "\n";
    text += Utf8ToGbk(utf8_what) + FAHUO_GBK(" ") + std::to_string(bills.size()) +
            FAHUO_GBK(" 笔：流水号 ") + SerialList(bills);
    bills.clear();
  };
  line(WaitingReason::kFailed, "发送失败");
  line(WaitingReason::kSkipped, "未发货（已跳过）");
  line(WaitingReason::kUnknown, "状态不明（发送时程序中断，请确认买家是否收到）");
  line(WaitingReason::kUnconfirmed, "待确认（交易状态无法识别，请核对是否已付款）");
  line(WaitingReason::kRetrying, "付款超过 " + std::to_string(kLongRetrySeconds / 3600) +
                                     " 小时仍未发出（仍在自动重试，请查看错误原因）");
  line(WaitingReason::kBounced, "退信（买家邮箱退回了邮件，请核对地址后重发）");
  if (held_) {
    if (!text.empty()) text += "\n";
    text += FAHUO_GBK("有 ") + std::to_string(held_) +
            FAHUO_GBK(" 笔付款是在发货程序未运行时收到的，等待您决定是否发货");
  }
  held_ = 0;
  waiting_.last_alert = now;
  out.push_back({AlertKind::kBillsWaiting, false, Title(TextsOf(AlertKind::kBillsWaiting).title),
                 text + FAHUO_GBK("\n请打开发货程序的发货记录处理。")});
}

std::vector<Alert> AlertRules::BillsWaiting(WaitingReason why,
                                            const std::vector<std::string>& serials, int64_t now) {
  std::vector<Alert> out;
  std::vector<std::string>& list = Waiting(why);
  list.insert(list.end(), serials.begin(), serials.end());
  FlushWaiting(now, out);
  return out;
}

std::vector<Alert> AlertRules::BillSkipped(const std::string& serial, std::string_view reason,
                                           int64_t now) {
  const std::string_view label = SkipReasonLabel(reason);
  return BillsWaiting(
      WaitingReason::kSkipped,
      {label.empty() ? serial : serial + FAHUO_GBK("（") + Utf8ToGbk(label) + FAHUO_GBK("）")},
      now);
}

void AlertRules::GatherQuiet(WaitingReason why, const std::vector<std::string>& serials,
                             std::set<std::string>& told) {
  std::set<std::string> now_waiting(serials.begin(), serials.end());
  for (const std::string& serial : serials) {
    if (!told.count(serial)) Waiting(why).push_back(serial);
  }
  // A bill that left the list (sent, settled) is told again should it come back.
  told = std::move(now_waiting);
}

std::vector<Alert> AlertRules::HeldPayments(size_t count, int64_t now) {
  std::vector<Alert> out;
  held_ += count;
  FlushWaiting(now, out);
  return out;
}

std::vector<Alert> AlertRules::StockShort(const std::string& gbk_stock, bool empty, int64_t now) {
  std::vector<Alert> out;
  // A stock that runs out soon after it ran low is told again: that is news.
  auto [told, first] = stock_told_.try_emplace({gbk_stock, empty}, now);
  if (!first) {
    if (now - told->second < kRepeatSeconds) return out;
    told->second = now;
  }
  const std::string text =
      empty ? FAHUO_GBK("库存 ") + gbk_stock +
                  FAHUO_GBK(" 的卡密已用完，新订单在等待补货，请添加卡密。")
            : FAHUO_GBK("库存 ") + gbk_stock + FAHUO_GBK(" 的卡密即将用完，请及时补充。");
  out.push_back({AlertKind::kStock, false, Title(TextsOf(AlertKind::kStock).title), text});
  return out;
}

std::vector<Alert> AlertRules::TickCauses(const TickInput& in) {
  std::vector<Alert> out;
  const int64_t now = in.now;
  if (!in.watching) {
    watching_since_.reset();
  } else if (!watching_since_) {
    watching_since_ = now;
  }
  if (watching_since_ && !lapsed_) {
    const int64_t since = last_read_ ? std::max(*last_read_, *watching_since_) : *watching_since_;
    if (now - since >= kRecordsAfterSeconds) {
      Raise(records_, AlertKind::kRecords,
            FAHUO_GBK("已有 ") + std::to_string((now - since) / 60) +
                FAHUO_GBK(" 分钟读不到交易记录（网络或收款网站出错），新的付款暂时无法发货。"),
            now, out);
    }
  }
  if (unreachable_since_ && now - *unreachable_since_ >= kUnreachableAfterSeconds) {
    Raise(unreachable_, AlertKind::kMailboxUnreachable, UnreachableText(now - *unreachable_since_),
          now, out);
  }
  // Onsets held back by the 30 minutes go out once those have passed, if still true.
  const std::pair<Cause*, AlertKind> held[] = {{&sign_in_, AlertKind::kSignIn},
                                               {&records_, AlertKind::kRecords},
                                               {&refused_, AlertKind::kMailboxRefused},
                                               {&unreachable_, AlertKind::kMailboxUnreachable},
                                               {&inbox_, AlertKind::kInboxRefused}};
  for (const auto& [cause, kind] : held) {
    if (cause->active && !cause->announced && MayAlert(*cause, now)) {
      Announce(*cause, kind, now, out);
    }
  }
  if (in.quiet) {
    GatherQuiet(WaitingReason::kUnconfirmed, in.quiet->unconfirmed, told_unconfirmed_);
    GatherQuiet(WaitingReason::kRetrying, in.quiet->retrying, told_retrying_);
  }
  FlushWaiting(now, out);
  return out;
}

void AlertRules::SetSummaryMinute(std::optional<int> minute) {
  summary_minute_ = minute;
  summary_ticked_ = false;
  summary_done_.reset();
}

bool AlertRules::SummaryDue(const TickInput& in) {
  if (!summary_minute_) return false;
  if (!summary_ticked_) {
    summary_ticked_ = true;
    // Started (or set) after today's time: the first summary is tomorrow's.
    if (in.minute_of_day > *summary_minute_) summary_done_ = in.today;
  }
  if (summary_done_ == in.today || in.minute_of_day < *summary_minute_) return false;
  summary_done_ = in.today;
  return true;
}

std::string FenText(int64_t fen) {
  const uint64_t magnitude = fen < 0 ? 0 - static_cast<uint64_t>(fen) : static_cast<uint64_t>(fen);
  const uint64_t cents = magnitude % 100;
  return (fen < 0 ? "-" : "") + std::to_string(magnitude / 100) + (cents < 10 ? ".0" : ".") +
         std::to_string(cents);
}

Alert AlertRules::SummaryAlert(const SummaryCounts& counts) {
  std::string text = FAHUO_GBK("今日已发货 ") + std::to_string(counts.sent_today) +
                     FAHUO_GBK(" 笔；需要您处理 ") + std::to_string(counts.waiting) +
                     FAHUO_GBK(" 笔。");
  if (counts.paid_today_fen && counts.paid_yesterday_fen) {
    text += FAHUO_GBK("\n今日收款 ") + FenText(*counts.paid_today_fen) + FAHUO_GBK(" 元，昨日 ") +
            FenText(*counts.paid_yesterday_fen) + FAHUO_GBK(" 元。");
  }
  // Only what is left of each stock: never a code.
  for (size_t i = 0; i < counts.stocks.size(); ++i) {
    const SummaryCounts::Stock& stock = counts.stocks[i];
    text += (i ? FAHUO_GBK("，") : FAHUO_GBK("\n卡密库存：")) + stock.name + FAHUO_GBK(" 剩 ") +
            std::to_string(stock.available) + FAHUO_GBK(" 个");
    if (stock.days_left)
      text += FAHUO_GBK("（约 ") + std::to_string(*stock.days_left) + FAHUO_GBK(" 天）");
  }
  if (!counts.stocks.empty()) text += FAHUO_GBK("。");
  return {AlertKind::kSummary, false, Title(TextsOf(AlertKind::kSummary).title), std::move(text)};
}

}  // namespace fahuo
