#include "delivery/seller_actions.h"

#include <optional>

#include "delivery/recipient.h"
#include "delivery/run_alone.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

using delivery_internal::Eol;

ActionOutcome Refused(const std::string& gbk_message) { return {false, gbk_message}; }

// Why a seller's change did not reach the ledger; none when it did.
std::optional<ActionOutcome> WriteRefused(Ledger::UpdateResult result, const std::string& serial,
                                          Ledger& ledger) {
  switch (result) {
    case Ledger::UpdateResult::kWritten:
      return std::nullopt;
    case Ledger::UpdateResult::kChanged:
      return Refused(FAHUO_GBK("这笔账单刚刚有了变化，请再试一次：") + serial);
    case Ledger::UpdateResult::kFailed:
      break;
  }
  return Refused(FAHUO_GBK("发货记录无法写入：") + Utf8ToGbk(ledger.LastError()));
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

ActionOutcome SellerActions::Requeue(const std::string& serial, const std::string* address,
                                     const DeliveryOutlet& out, bool changed_address) {
  const std::optional<LedgerEntry> found = orders_.ledger.Find(serial);
  if (!found) return Refused(FAHUO_GBK("发货记录中没有这笔账单：") + serial);
  if (found->state == BillState::kSending) {
    return Refused(FAHUO_GBK("这笔账单正在发送，邮件可能已经发出，请稍后再看：") + serial);
  }
  LedgerEntry e = *found;
  const std::string old_recipient = e.recipient;
  if (address) {
    // typed_recipient keeps the first address, as the buyer typed it, whatever the seller
    // chooses after; back at that address nothing differs any more.
    if (e.typed_recipient.empty() && !e.recipient.empty()) e.typed_recipient = e.recipient;
    e.recipient = *address;
    if (e.typed_recipient == e.recipient) e.typed_recipient.clear();
  } else if (e.recipient.empty() && e.skip_reason == skip::kSuspectAddress) {
    // The seller saw the suggestion and asked for the same address: the one typed.
    e.recipient = e.typed_recipient;
    e.typed_recipient.clear();
  }
  ++e.resends;
  e.state = BillState::kPending;
  e.next_try = 0;
  e.last_error.clear();
  e.skip_reason.clear();
  e.message_id.clear();  // a deliberate resend is a new mail, not a copy of the last
  // An empty rule with a recipient: the delivery matches the rule anew and keeps the address.
  e.rule_subject.clear();
  e.rule_body.clear();
  if (auto refused =
          WriteRefused(orders_.ledger.UpdateIfUnchanged(e, *found), serial, orders_.ledger))
    return *refused;
  if (address && changed_address) {
    const std::string& before = old_recipient.empty() ? found->typed_recipient : old_recipient;
    out.view.AppendLog(FAHUO_GBK("改地址重发：") + (before.empty() ? std::string("-") : before) +
                       FAHUO_GBK(" → ") + *address + FAHUO_GBK("（流水号 ") + serial +
                       FAHUO_GBK("）") + Eol());
  } else if (address) {
    out.view.AppendLog(FAHUO_GBK("重新发送到 ") + *address + FAHUO_GBK("：") + serial + Eol());
  } else {
    out.view.AppendLog(FAHUO_GBK("重新发送：") + serial + FAHUO_GBK("（由卖家操作）") + Eol());
  }
  out.events.BillsChanged();
  return {true, {}};
}

ActionOutcome SellerActions::Resend(const std::string& serial, const DeliveryOutlet& out) {
  return Requeue(serial, nullptr, out, false);
}

ActionOutcome SellerActions::ResendTo(const std::string& serial, const std::string& address,
                                      const DeliveryOutlet& out) {
  const std::string typed = Trimmed(address);
  if (!IsMailbox(typed)) return Refused(FAHUO_GBK("邮箱地址无效：") + typed);
  return Requeue(serial, &typed, out, false);
}

ActionOutcome SellerActions::ChangeAddress(const std::string& serial, const std::string& address,
                                           const DeliveryOutlet& out) {
  const std::string typed = Trimmed(address);
  if (typed.empty()) return Refused(FAHUO_GBK("没有填写新的收件地址：") + serial);
  if (!IsMailbox(typed)) {
    return Refused(FAHUO_GBK("收件地址无效，未重发：") + typed +
                   FAHUO_GBK("\n请填写一个完整的邮箱地址，例如 12345@qq.com"));
  }
  return Requeue(serial, &typed, out, true);
}

ActionOutcome SellerActions::MarkHandled(const std::string& serial, const DeliveryOutlet& out) {
  const std::optional<LedgerEntry> found = orders_.ledger.Find(serial);
  if (!found) return Refused(FAHUO_GBK("发货记录中没有这笔账单：") + serial);
  switch (found->state) {
    case BillState::kSending:
      return Refused(FAHUO_GBK("这笔账单正在发送，邮件可能已经发出，请稍后再看：") + serial);
    case BillState::kSent:
      // "Handled" would hide that the buyer has the goods.
      return Refused(FAHUO_GBK("这笔账单已经发送成功，无需标记为已处理：") + serial);
    case BillState::kHandled:
      return {true, {}};
    default:
      break;
  }
  LedgerEntry e = *found;
  e.state = BillState::kHandled;
  e.next_try = 0;
  if (auto refused =
          WriteRefused(orders_.ledger.UpdateIfUnchanged(e, *found), serial, orders_.ledger))
    return *refused;
  out.view.AppendLog(FAHUO_GBK("已标记为已处理：") + serial + Eol());
  out.events.BillsChanged();
  return {true, {}};
}

ActionOutcome SellerActions::ReturnCodes(const std::string& serial, const DeliveryOutlet& out) {
  if (!orders_.ledger.Find(serial)) return Refused(FAHUO_GBK("发货记录中没有这笔账单：") + serial);
  const int64_t returned = orders_.ledger.ReturnCodes(serial);
  if (returned < 0) {
    return Refused(FAHUO_GBK("发货记录无法写入：") + Utf8ToGbk(orders_.ledger.LastError()));
  }
  if (returned == 0) {
    return Refused(FAHUO_GBK("这笔账单没有可退回的卡密（只有从未发出的账单可以退回）：") + serial);
  }
  // The stock's count, never the code: the log is no place for it.
  out.view.AppendLog(FAHUO_GBK("已退回 ") + std::to_string(returned) +
                     FAHUO_GBK(" 个卡密到库存：") + serial + Eol());
  out.events.BillsChanged();
  return {true, {}};
}

}  // namespace fahuo
