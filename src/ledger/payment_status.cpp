#include "ledger/payment_status.h"

#include <array>
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

bool IsPaidOrder(BillState state, const BillRecord& bill) {
  switch (state) {
    case BillState::kAwaiting:
    case BillState::kNotPaid:
    case BillState::kOutgoing:
    case BillState::kUnconfirmed:
      return false;
    case BillState::kBaseline:
    case BillState::kHandled:
      return StateOfNewRow(bill) == BillState::kPending;
    default:
      return true;
  }
}

int64_t PaidKey(std::string_view date) {
  // Runs of digits: year, month, day, hour, minute and maybe second, whatever stands
  // between them.
  std::array<int64_t, 6> part{};
  size_t found = 0;
  size_t i = 0;
  while (i < date.size() && found < part.size()) {
    if (date[i] < '0' || date[i] > '9') {
      ++i;
      continue;
    }
    int64_t value = 0;
    size_t digits = 0;
    for (; i < date.size() && date[i] >= '0' && date[i] <= '9'; ++i, ++digits) {
      if (digits < 8) value = value * 10 + (date[i] - '0');
    }
    if (found == 0 && digits == 8) {  // 20261209
      part[0] = value / 10000;
      part[1] = value / 100 % 100;
      part[2] = value % 100;
      found = 3;
      continue;
    }
    part[found++] = value;
  }
  const auto [year, month, day, hour, minute, second] = part;
  if (found < 3 || year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 ||
      hour > 23 || minute > 59 || second > 59) {
    return 0;
  }
  return ((((year * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

}  // namespace fahuo
