#include "delivery/sender.h"

#include <chrono>
#include <optional>

#include "delivery/mail_refusal.h"
#include "delivery/mail_setup.h"
#include "delivery/placeholders.h"
#include "delivery/recipient.h"
#include "delivery/run_alone.h"
#include "ledger/amount.h"
#include "platform/gbk.h"
#include "platform/mail_message.h"
#include "rules/rule_entry.h"

namespace fahuo {

using delivery_internal::Eol;

namespace {

// Logs why the bill's recipient cannot be mailed and returns the skip reason, or logs the QQ
// address made and returns nullptr.
const char* RecipientSkip(const Recipient& recipient, const DeliveryOutlet& out) {
  switch (recipient.kind) {
    case Recipient::Kind::kSkipNoNote:
      out.view.AppendLog(FAHUO_GBK("对方为留言，自动跳过发送邮件") + Eol());
      return skip::kNoNote;
    case Recipient::Kind::kSkipNotQq:
      out.view.AppendLog(FAHUO_GBK("对方留言的不是QQ号码，自动跳过不发送邮件") + Eol());
      return skip::kNotQq;
    case Recipient::Kind::kSkipInvalidAddress:
      out.view.AppendLog(InvalidAddressSkipText() + Eol());
      return skip::kInvalidAddress;
    case Recipient::Kind::kSkipSuspectAddress:
      out.view.AppendLog(FAHUO_GBK("收件地址可能有误：") + recipient.typed + FAHUO_GBK("，建议：") +
                         recipient.suggestion + FAHUO_GBK("，等待卖家处理（改地址重发）") + Eol());
      return skip::kSuspectAddress;
    case Recipient::Kind::kQqNumber:
      out.view.AppendLog(FAHUO_GBK("对方留言的不是邮箱信息，自动添加 ") + "@" +
                         std::string(kQqMailDomain) + Eol());
      return nullptr;
    case Recipient::Kind::kMailAddress:
      if (!recipient.typed.empty()) {
        out.view.AppendLog(FAHUO_GBK("已更正收件地址：") + recipient.typed + FAHUO_GBK(" → ") +
                           recipient.address + Eol());
      }
      return nullptr;
  }
  return nullptr;
}

}  // namespace

// The two calls a delivery makes of the mail server over one account: the test's when
// given, else this delivery's own session. The first account's answers are also reported to
// the window, for the alerts.
struct Sender::Mailer {
  const MailAccount& account;
  const DeliveryServices& services;
  mail::Session& session;
  const DeliveryOutlet& out;
  SendPace& pace;
  const Clock& clock;
  bool primary;                      // the first account (else the second)
  bool fallback;                     // another account takes the bills should this one pause
  const std::string& primary_error;  // why the first account failed just now, if it did

  std::string Connect() { return Reported(ConnectOnce()); }
  SendOutcome Send(const std::string& subject, const std::string& body,
                   const std::string& recipient, const std::string& message_id) {
    std::string error = services.send
                            ? services.send(subject, body, recipient, account.user)
                            : session.Send(subject, body, recipient, account.user, message_id);
    const bool handed_over = !services.send && session.LastSendHandedOver();
    pace.Sent(clock.TickMs());
    return ReadSendOutcome(Reported(std::move(error)), handed_over);
  }

 private:
  std::string ConnectOnce() {
    if (services.connect) return services.connect(account);
    if (session.Connect(account.server, account.user, account.password)) return {};
    const std::string why = session.LastConnectError();
    return why.empty() ? FAHUO_GBK("连接邮箱服务器失败") : why;
  }
  // A quit's cut exchange says nothing about the mailbox.
  std::string Reported(std::string error) {
    if (primary && error != mail::AbortedText()) out.events.MailboxAnswered(error);
    return error;
  }
};

// One account a delivery may mail over.
struct Sender::Route {
  MailAccount account;
  SendPace* pace;
  bool primary;
};

void Sender::Abort() { slot_.Abort(); }

bool Sender::SetPrimary(const MailAccount& account, int per_minute) {
  pace_.SetPerMinute(per_minute);
  return pace_.ForAccount(PauseAccount(account.server, account.user), orders_.clock.UnixSeconds());
}

bool Sender::SetBackup(std::optional<MailAccount> account, int per_minute) {
  std::lock_guard lock(backup_mutex_);
  if (account && account->server.empty() && account->user.empty()) account.reset();
  const bool unpaused = backup_pace_.ForAccount(
      account ? PauseAccount(account->server, account->user) : std::string(),
      orders_.clock.UnixSeconds());
  backup_ = std::move(account);
  backup_pace_.SetPerMinute(per_minute);
  primary_down_until_.store(0);
  return unpaused;
}

std::optional<int64_t> Sender::PauseEnd() const {
  return pace_.PauseEnd(orders_.clock.UnixSeconds());
}

bool Sender::LiftPause(const DeliveryOutlet& out) {
  const int64_t now = orders_.clock.UnixSeconds();
  const bool paused = pace_.PausedAt(now) || backup_pace_.PausedAt(now);
  pace_.EndPause();
  backup_pace_.EndPause();
  if (!paused) return false;
  // The bill refused for the limit was put off till the pause's end; the rest are pending.
  for (LedgerEntry& e : orders_.ledger.WithStates({BillState::kRetrying})) {
    if (e.next_try <= now || PauseSecondsFor(e.last_error) == 0) continue;
    const LedgerEntry taken = e;
    e.next_try = now;
    // A write that fails leaves the bill for its own time.
    orders_.ledger.UpdateIfUnchanged(e, taken);
  }
  out.view.AppendLog(FAHUO_GBK("已恢复发送（由卖家操作），等待的账单现在发送") + Eol());
  out.events.BillsChanged();
  return true;
}

bool Sender::AwaitPace(const SendPace& pace) {
  return slot_.WaitFor(pace.WaitMs(orders_.clock.TickMs()));
}

void Sender::PauseSending(Mailer& mailer, int64_t seconds, const std::string& error,
                          const DeliveryOutlet& out) {
  mailer.pace.PauseUntil(orders_.clock.UnixSeconds() + seconds,
                         PauseAccount(mailer.account.server, mailer.account.user));
  std::string text = MailRefusalText(ReadMailRefusal(error)) + FAHUO_GBK("，");
  if (!mailer.primary) text += FAHUO_GBK("备用发信邮箱");
  text += FAHUO_GBK("暂停发送 ") + std::to_string((seconds + 59) / 60) + FAHUO_GBK(" 分钟，");
  text += mailer.fallback ? FAHUO_GBK("等待的账单改用备用发信邮箱发送")
                          : FAHUO_GBK("等待的账单之后自动发送");
  // The status line offers to end the first account's pause.
  if (mailer.primary) text += FAHUO_GBK("（账单列表下方的“恢复发送”可提前恢复）");
  out.view.AppendLog(text + Eol());
  out.view.Notify(FAHUO_GBK("暂停发送"), text);
}

std::vector<Sender::Route> Sender::Routes(const MailAccount& primary) {
  std::optional<MailAccount> backup;
  {
    std::lock_guard lock(backup_mutex_);
    backup = backup_;
  }
  const int64_t now = orders_.clock.UnixSeconds();
  std::vector<Route> routes;
  if (!pace_.PausedAt(now)) routes.push_back({primary, &pace_, true});
  if (backup && !backup_pace_.PausedAt(now)) {
    Route second{*backup, &backup_pace_, false};
    // The first account failed a moment ago: the second goes first till it is tried again.
    if (now < primary_down_until_.load()) {
      routes.insert(routes.begin(), std::move(second));
    } else {
      routes.push_back(std::move(second));
    }
  }
  return routes;
}

bool Sender::DeliverDue(const MailAccount& account, const DeliveryOutlet& out,
                        const DeliveryServices& services) {
  return delivery_internal::RunAlone(busy_, [&] {
    if (orders_.stopping.load()) return;
    std::vector<Route> routes = Routes(account);
    if (routes.empty()) return;  // every account waits out its pause; the bills wait too
    std::vector<LedgerEntry> due = orders_.ledger.Due(orders_.clock.UnixSeconds());
    if (due.empty()) return;
    std::string primary_error, backup_error;
    for (size_t i = 0; i < routes.size() && !due.empty(); ++i) {
      const Route& route = routes[i];
      const bool fallback = i + 1 < routes.size();
      std::string why;
      Outcome outcome = Outcome::kDone;
      const bool ran = slot_.Run([&](mail::Session& session) {
        Mailer mailer{route.account, services,      session,  out,          *route.pace,
                      orders_.clock, route.primary, fallback, primary_error};
        outcome = DeliverAll(due, mailer, out, why);
      });
      if (!ran || orders_.stopping.load() || outcome == Outcome::kDone) return;
      if (outcome == Outcome::kPaused) {
        // Left waiting: the bills the pause came before (and the one it refused, which a
        // second account takes at once).
        due = orders_.ledger.Due(orders_.clock.UnixSeconds());
        continue;
      }
      if (outcome == Outcome::kAccountRefused) {
        // This account's run is over; what it left waiting (the refused bill among them,
        // due at once when another account follows) goes to the next.
        due = orders_.ledger.Due(orders_.clock.UnixSeconds());
      }
      (route.primary ? primary_error : backup_error) = why;
      if (route.primary && routes.size() > 1) {  // the second goes first for a while
        primary_down_until_ = orders_.clock.UnixSeconds() + kPrimaryRetrySeconds;
      }
    }
    if (orders_.stopping.load() || due.empty()) return;
    if (primary_error.empty() && backup_error.empty()) return;
    std::string shown;
    if (!primary_error.empty()) shown = MailFailureText(primary_error);
    if (!primary_error.empty() && !backup_error.empty()) shown += FAHUO_GBK("；");
    if (!backup_error.empty()) shown += FAHUO_GBK("备用发信邮箱：") + MailFailureText(backup_error);
    PostponeAll(due, primary_error.empty() ? backup_error : primary_error, shown, out);
  });
}

void Sender::NoteRoute(const Mailer& mailer, const DeliveryOutlet& out) {
  if (mailer.primary == !on_backup_) return;
  on_backup_ = !mailer.primary;
  if (on_backup_) {
    std::string line = FAHUO_GBK("改用备用发信邮箱 ") + mailer.account.user + FAHUO_GBK(" 发送");
    if (!mailer.primary_error.empty()) {
      line += FAHUO_GBK("（主发信邮箱：") + MailFailureText(mailer.primary_error) + FAHUO_GBK("）");
    }
    out.view.AppendLog(line + Eol());
  } else {
    out.view.AppendLog(FAHUO_GBK("主发信邮箱恢复，改回主发信邮箱发送") + Eol());
  }
}

Sender::Outcome Sender::DeliverAll(std::vector<LedgerEntry>& due, Mailer& mailer,
                                   const DeliveryOutlet& out, std::string& why) {
  why = mailer.Connect();
  if (!why.empty()) return Outcome::kNoConnection;
  NoteRoute(mailer, out);
  if (outage_shown_) out.view.AppendLog(FAHUO_GBK("邮箱已恢复连接，继续发送") + Eol());
  outage_shown_ = false;
  bool changed = false;
  Outcome outcome = Outcome::kDone;
  for (LedgerEntry& e : due) {
    if (orders_.stopping.load() || !AwaitPace(mailer.pace)) break;
    changed = true;
    if (!DeliverOne(e, mailer, out, why)) {
      if (!why.empty()) {
        outcome = Outcome::kAccountRefused;
      } else if (mailer.pace.PausedAt(orders_.clock.UnixSeconds())) {
        outcome = Outcome::kPaused;
      }
      break;
    }
  }
  if (changed) out.events.BillsChanged();
  return outcome;
}

void Sender::PostponeAll(std::vector<LedgerEntry>& due, const std::string& why,
                         const std::string& shown, const DeliveryOutlet& out) {
  const int64_t now = orders_.clock.UnixSeconds();
  for (LedgerEntry& e : due) {
    const LedgerEntry taken = e;
    e.state = BillState::kRetrying;
    ++e.attempts;
    e.next_try = now + RetryDelaySeconds(e.attempts);
    e.last_error = why;
    // A bill the seller changed while we connected stays as the seller left it.
    if (orders_.ledger.UpdateIfUnchanged(e, taken) == Ledger::UpdateResult::kFailed) {
      ledger_failure_.Report(out, orders_.ledger);
    }
  }
  out.events.BillsChanged();  // the list shows them as waiting for a retry
  // Once per outage: the reader goes on reading pages and recording bills meanwhile. The
  // log (and so the kept log file) records when mailing stopped and started again.
  if (outage_shown_) return;
  outage_shown_ = true;
  out.view.AppendLog(FAHUO_GBK("连接邮箱失败，稍后自动重试：") + shown + Eol());
  out.view.ShowMessage(FAHUO_GBK("连接邮箱失败") + "\n" + shown);
}

bool Sender::Prepare(LedgerEntry& e, const DeliveryOutlet& out, const char** skip) {
  const BillRecord& bill = e.bill;
  const bool fresh = e.recipient.empty();
  if (fresh) {
    out.view.AppendLog(FAHUO_GBK("发现新账单") + Eol());
    out.view.AppendLog(FAHUO_GBK("对方是：") + bill.对方 + Eol());
  } else {
    out.view.AppendLog(FAHUO_GBK("重新发送：") + bill.流水号 + Eol());
  }
  const std::optional<float> readable = ReadAmount(bill.金额);
  if (!readable) {
    // An amount the page does not show as a number must not be matched as 0.
    out.view.AppendLog(FAHUO_GBK("金额无法识别，未发送：") + bill.流水号 + Eol());
    *skip = skip::kBadAmount;
    return false;
  }
  const float amount = *readable;
  const std::string amount_line =
      FAHUO_GBK("对方金额是：") + AmountToText(amount) + FAHUO_GBK(" 正在为您匹配发件规则") + Eol();
  RuleListSnapshot rules = rules_.Current();  // taken per bill: a save may replace the list
  const DeliveryRule* matched = nullptr;
  for (const DeliveryRule& rule : *rules) {
    out.view.AppendLog(amount_line);
    if (amount > rule.maximum || amount < rule.minimum) continue;
    matched = &rule;
    break;
  }
  if (!matched) {
    out.view.AppendLog(FAHUO_GBK("没有匹配的发货规则，未发送：") + bill.流水号 + Eol());
    *skip = skip::kNoRule;
    return false;
  }
  Recipient recipient{Recipient::Kind::kMailAddress, e.recipient};
  if (fresh) recipient = RecipientFor(bill.名称, bill.备注);
  if (const char* why = RecipientSkip(recipient, out)) {
    *skip = why;
    if (recipient.kind == Recipient::Kind::kSkipSuspectAddress) {
      // Kept for the seller: the list shows the suggestion, 改地址重发 offers it, and a plain
      // 重新发送 mails the address as typed.
      e.last_error = recipient.suggestion;
      e.typed_recipient = recipient.typed;
    }
    return false;
  }
  e.recipient = recipient.address;
  if (fresh) e.typed_recipient = recipient.typed;
  e.rule_subject = matched->subject;
  e.rule_body = matched->body;
  return true;
}

bool Sender::Settle(LedgerEntry& e, BillState state, const char* reason, const LedgerEntry* taken,
                    const DeliveryOutlet& out) {
  e.state = state;
  e.skip_reason = reason ? reason : "";
  const bool written =
      taken ? orders_.ledger.UpdateIfUnchanged(e, *taken) != Ledger::UpdateResult::kFailed
            : orders_.ledger.Update(e);
  if (written) return true;
  ledger_failure_.Report(out, orders_.ledger);
  return false;
}

bool Sender::DeliverOne(LedgerEntry& e, Mailer& mailer, const DeliveryOutlet& out,
                        std::string& account_refused) {
  const BillRecord& bill = e.bill;
  // An earlier attempt handed the whole mail over without an answer: the buyer may have it.
  const bool maybe_received =
      e.skip_reason == skip::kNoFinalReply || e.skip_reason == skip::kMaybeTwice;
  // The first write goes through only while the bill is as it was read: when the seller
  // changed it meanwhile, the next delivery takes it as the seller left it.
  const LedgerEntry taken = e;
  bool stale = false;
  // A bill the seller sent again keeps its recipient but takes the rule that matches now.
  if (e.recipient.empty() || (e.rule_subject.empty() && e.rule_body.empty())) {
    const char* skip = nullptr;
    if (!Prepare(e, out, &skip)) {
      if (!Settle(e, BillState::kSkipped, skip, &taken, out)) return false;
      out.events.BillSkipped(bill.流水号, skip);
      return true;
    }
  } else if (e.state == BillState::kOutOfStock) {
    out.view.AppendLog(FAHUO_GBK("卡密已补充，发送：") + bill.流水号 + Eol());
  } else {
    out.view.AppendLog(FAHUO_GBK("重新发送：") + bill.流水号 + Eol());
  }
  out.view.AppendLog(FAHUO_GBK("发送的邮箱地址是：") + e.recipient + Eol());
  // "sending" is on disk before the mail's DATA: a crash from here on can never lead to a
  // second mail, only to a bill shown as unknown. The bill's codes are taken in that same
  // commit, so no crash gives one code twice or a bill two codes of one stock.
  OrderCodes codes;
  if (!TakeSending(e, taken, stale, codes, mailer.account.user, out)) return false;
  if (stale || e.state != BillState::kSending) return true;
  ledger_failure_.Clear();
  // Placeholders are filled per bill; a rule without braces goes out exactly as stored.
  const SendOutcome sent =
      mailer.Send(ExpandPlaceholders(e.rule_subject, bill, codes),
                  ExpandPlaceholders(e.rule_body, bill, codes), e.recipient, e.message_id);
  // Quitting cut the exchange: whether the server took the mail is unknown, and the bill
  // stays "sending" for the next start to show.
  if (sent.kind != SendOutcome::Kind::kAccepted && orders_.stopping.load()) return false;
  if (sent.kind == SendOutcome::Kind::kAborted) return false;
  if (sent.kind == SendOutcome::Kind::kAccountRefused && PauseSecondsFor(sent.error) == 0) {
    account_refused = sent.error;
  }
  return RecordSendOutcome(e, sent, maybe_received, mailer, out);
}

bool Sender::RecordSendOutcome(LedgerEntry& e, const SendOutcome& sent, bool maybe_received,
                               Mailer& mailer, const DeliveryOutlet& out) {
  using Kind = SendOutcome::Kind;
  const BillRecord& bill = e.bill;
  const int64_t now = orders_.clock.UnixSeconds();
  const std::string& error = sent.error;
  const char* received_note = maybe_received ? skip::kNoFinalReply : nullptr;
  if (sent.kind == Kind::kAccepted) {
    out.view.AppendLog(FAHUO_GBK("发送邮件成功") + Eol());
    e.sent_at = now;
    e.last_error.clear();
    return Settle(e, BillState::kSent, maybe_received ? skip::kMaybeTwice : nullptr, nullptr, out);
  }
  out.view.AppendLog(FAHUO_GBK("发送失败，错误：") + error + FAHUO_GBK("（流水号 ") + bill.流水号 +
                     FAHUO_GBK("）") + Eol());
  e.last_error = error;
  switch (sent.kind) {
    case Kind::kAccountRefused: {
      // No fault of this bill: it waits (its codes kept) for this account to be mended or
      // for the other account, never failed for good. Over the account's limit the
      // account pauses; a refused login ends this account's run.
      const int64_t pause = PauseSecondsFor(error);
      if (pause > 0) {
        e.next_try = mailer.fallback ? now : now + pause;
        PauseSending(mailer, pause, error, out);
      } else {
        e.next_try = mailer.fallback ? now : now + RetryDelaySeconds(e.attempts);
        std::string line = MailRefusalText(sent.refusal);
        line += mailer.fallback ? FAHUO_GBK("，等待的账单改用备用发信邮箱发送")
                                : FAHUO_GBK("，等待的账单之后自动重试，不会作废");
        out.view.AppendLog(line + Eol());
      }
      Settle(e, BillState::kRetrying, received_note, nullptr, out);
      return false;
    }
    case Kind::kNoFinalReply:
      // Tried again (the buyer must get the goods) under the same Message-ID, so that a
      // second copy can be told for what it is.
      out.view.AppendLog(FAHUO_GBK("邮件已交给服务器但未收到确认，稍后以同一封邮件重试（流水号 ") +
                         bill.流水号 + FAHUO_GBK("）") + Eol());
      e.next_try = now + RetryDelaySeconds(e.attempts);
      return Settle(e, BillState::kRetrying, skip::kNoFinalReply, nullptr, out);
    case Kind::kRefusedForNow:
      e.next_try = now + RetryDelaySeconds(e.attempts);
      return Settle(e, BillState::kRetrying, received_note, nullptr, out);
    default:
      break;
  }
  out.events.BillFailed(bill.流水号);
  out.view.Notify(
      FAHUO_GBK("发送失败"),
      FAHUO_GBK("流水号 ") + bill.流水号 + FAHUO_GBK(" 的邮件未能发出：") + MailFailureText(error));
  return Settle(e, BillState::kFailed, received_note, nullptr, out);
}

bool Sender::TakeSending(LedgerEntry& e, const LedgerEntry& taken, bool& stale, OrderCodes& codes,
                         const std::string& sender, const DeliveryOutlet& out) {
  const std::vector<std::string> stocks = CodeStocks({e.rule_subject, e.rule_body});
  const std::string sent_before = e.sent_by;
  e.sent_by = sender;  // with "sending": a bill left unknown tells which mailbox to look in
  // Every automatic attempt of the bill carries the Message-ID of its first.
  if (e.message_id.empty()) e.message_id = mail::NewMessageId(GbkToUtf8(sender));
  e.state = BillState::kSending;
  e.skip_reason.clear();
  ++e.attempts;
  const Ledger::Sending written =
      orders_.ledger.WriteSending(e, &taken, stocks, orders_.clock.UnixSeconds());
  switch (written.outcome) {
    case Ledger::Sending::Outcome::kFailed:
      ledger_failure_.Report(out, orders_.ledger);
      return false;
    case Ledger::Sending::Outcome::kChanged:
      stale = true;
      return true;
    case Ledger::Sending::Outcome::kOutOfStock: {
      // Never the code itself in a log or a notice: only the stock's name.
      --e.attempts;
      e.sent_by = sent_before;
      const std::string line = FAHUO_GBK("库存 ") + written.empty_stock +
                               FAHUO_GBK(" 的卡密已用完，等待补货（流水号 ") + e.bill.流水号 +
                               FAHUO_GBK("）");
      out.view.AppendLog(line + Eol());
      out.view.Notify(FAHUO_GBK("卡密缺货"), line);
      out.events.StockShort(written.empty_stock, true);
      // The bill waits for the stock (its skip reason); a seller's change meanwhile stands.
      return Settle(e, BillState::kOutOfStock, written.empty_stock.c_str(), &taken, out);
    }
    case Ledger::Sending::Outcome::kWritten:
      break;
  }
  for (const StockCode& code : written.codes) codes[code.stock] = code.code;
  for (const std::string& stock : written.newly_given) {
    out.view.AppendLog(FAHUO_GBK("已分配卡密（库存 ") + stock + FAHUO_GBK("）") + Eol());
  }
  for (const std::string& stock : written.low_stocks) {
    const std::string line = FAHUO_GBK("库存 ") + stock + FAHUO_GBK(" 的卡密即将用完，请及时补充");
    out.view.AppendLog(line + Eol());
    out.view.Notify(FAHUO_GBK("卡密库存不足"), line);
    out.events.StockShort(stock, false);
  }
  return true;
}

}  // namespace fahuo
