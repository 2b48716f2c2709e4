#include "ledger/bill_state_text.h"

#include <ctime>

#include "platform/gbk.h"
#include "platform/local_time.h"

namespace fahuo {

std::string_view StateLabel(BillState state) {
  switch (state) {
    case BillState::kBaseline:
      return "基线";
    case BillState::kPending:
      return "等待发送";
    case BillState::kSending:
      return "正在发送";
    case BillState::kSent:
      return "已发送";
    case BillState::kRetrying:
      return "等待重试";
    case BillState::kFailed:
      return "发送失败";
    case BillState::kSkipped:
      return "已跳过";
    case BillState::kHeld:
      return "待确认";
    case BillState::kHandled:
      return "已处理";
    case BillState::kUnknown:
      return "状态不明";
    case BillState::kOutOfStock:
      return "缺货";
    case BillState::kAwaiting:
      return "等待付款";
    case BillState::kNotPaid:
      return "未付款";
    case BillState::kOutgoing:
      return "支出";
    case BillState::kUnconfirmed:
      return "待确认";
    case BillState::kBounced:
      return "退信";
  }
  return "状态不明";
}

std::string StateText(const LedgerEntry& entry) {
  std::string text(StateLabel(entry.state));
  if (entry.state == BillState::kOutOfStock && !entry.skip_reason.empty()) {
    return text + "（库存 " + GbkToUtf8(entry.skip_reason) + "）";
  }
  if (entry.state == BillState::kNotPaid || entry.state == BillState::kUnconfirmed) {
    // The page's own word for it (交易关闭, 退款成功, …).
    if (!entry.bill.状态.empty()) return text + "：" + GbkToUtf8(entry.bill.状态);
    return text;
  }
  if (entry.state == BillState::kBounced && !entry.last_error.empty()) {
    return text + "：" + GbkToUtf8(entry.last_error);
  }
  if (entry.skip_reason == skip::kMaybeTwice) return text + "（买家可能收到两封）";
  if (entry.skip_reason == skip::kNoFinalReply) return text + "（邮件可能已送达）";
  if (entry.state != BillState::kSkipped) return text;
  const std::string_view reason = SkipReasonLabel(entry.skip_reason);
  if (!reason.empty()) text += "：" + std::string(reason);
  if (entry.skip_reason == skip::kSuspectAddress && !entry.last_error.empty()) {
    text += "，建议：" + GbkToUtf8(entry.last_error);
  }
  return text;
}

std::string_view SkipReasonLabel(std::string_view why) {
  return why == skip::kNoNote           ? "没有留言"
         : why == skip::kNotQq          ? "不是QQ号码"
         : why == skip::kInvalidAddress ? "邮箱地址无效"
         : why == skip::kSuspectAddress ? "收件地址可能有误"
         : why == skip::kNoRule         ? "没有匹配的规则"
         : why == skip::kBadAmount      ? "金额无法识别"
                                        : "";
}

const std::vector<BillState>& SellerStates() {
  static const std::vector<BillState> states = {
      BillState::kFailed,     BillState::kSkipped,     BillState::kHeld,   BillState::kUnknown,
      BillState::kOutOfStock, BillState::kUnconfirmed, BillState::kBounced};
  return states;
}

bool NeedsSeller(BillState state) {
  for (BillState s : SellerStates()) {
    if (s == state) return true;
  }
  return false;
}

const std::vector<BillState>& FilterStates() {
  static const std::vector<BillState> states = {
      BillState::kSent,     BillState::kPending,  BillState::kSending,     BillState::kRetrying,
      BillState::kFailed,   BillState::kSkipped,  BillState::kHeld,        BillState::kHandled,
      BillState::kBaseline, BillState::kUnknown,  BillState::kOutOfStock,  BillState::kAwaiting,
      BillState::kNotPaid,  BillState::kOutgoing, BillState::kUnconfirmed, BillState::kBounced};
  return states;
}

uint32_t StateColour(BillState state) {
  switch (state) {
    case BillState::kSent:
      return 0x1B7A34;  // green: done
    case BillState::kPending:
    case BillState::kSending:
      return 0x1F5FBF;  // blue: on its way
    case BillState::kRetrying:
      return 0xB06000;  // amber: will be tried again
    case BillState::kFailed:
    case BillState::kOutOfStock:
    case BillState::kBounced:
      return 0xC62828;  // red: the seller must act
    case BillState::kSkipped:
    case BillState::kUnknown:
      return 0xA0461E;  // brown: the seller should look
    case BillState::kHeld:
    case BillState::kUnconfirmed:
      return 0x7B2FA8;  // purple: waits for an answer
    case BillState::kAwaiting:
      return 0x1F5FBF;  // blue: watched until paid
    case BillState::kHandled:
    case BillState::kBaseline:
    case BillState::kNotPaid:
    case BillState::kOutgoing:
      return 0x707070;  // grey: nothing to do
  }
  return 0x000000;
}

std::string FormatSeenTime(int64_t unix_seconds) {
  std::tm local{};
  if (!ToLocalTime(unix_seconds, local)) return {};
  char text[32];
  const size_t n = std::strftime(text, sizeof text, "%Y.%m.%d %H:%M", &local);
  return std::string(text, n);
}

}  // namespace fahuo
