#include "delivery/payment_status.h"

#include <string>
#include <string_view>

#include "platform/gbk.h"

namespace fahuo {
namespace {

bool Has(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

}  // namespace

BillState StateOfNewRow(const BillRecord& bill) {
  const std::string amount = GbkToUtf8(bill.金额);
  const std::string_view sign = Trimmed(amount);
  if (sign.starts_with("-") || sign.starts_with("－") || sign.starts_with("−")) {
    return BillState::kOutgoing;
  }
  const std::string status = GbkToUtf8(bill.状态);
  if (Trimmed(status).empty()) return BillState::kPending;
  // A refund that failed, was closed or withdrawn leaves the payment standing, and a buyer
  // who paid and waits for the goods has paid.
  if ((Has(status, "退款") &&
       (Has(status, "失败") || Has(status, "关闭") || Has(status, "取消"))) ||
      Has(status, "已付款")) {
    return BillState::kPending;
  }
  // 退款成功 says 成功 too: the words that undo a payment are read first.
  for (std::string_view word : {"关闭", "退款", "已退", "失败", "取消", "撤销"}) {
    if (Has(status, word)) return BillState::kNotPaid;
  }
  if (Has(status, "待付款") || Has(status, "未付款") ||
      (Has(status, "等待") && (Has(status, "付款") || Has(status, "支付")))) {
    return BillState::kAwaiting;
  }
  for (std::string_view word : {"成功", "已收款", "已到账", "完成"}) {
    if (Has(status, word)) return BillState::kPending;
  }
  return BillState::kUnconfirmed;
}

}  // namespace fahuo
