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
  // Year, month, day, hour, minute and maybe second, whatever stands between them. Pages
  // glue the time to the date at times ("2026.12.0708:35"), and some write it all in one
  // ("20261209102345"): after the year a longer run is read as two-digit fields.
  std::array<int64_t, 6> part{};
  size_t found = 0;
  size_t i = 0;
  while (i < date.size() && found < part.size()) {
    if (date[i] < '0' || date[i] > '9') {
      ++i;
      continue;
    }
    const size_t begin = i;
    while (i < date.size() && date[i] >= '0' && date[i] <= '9') ++i;
    std::string_view run = date.substr(begin, i - begin);
    auto number = [](std::string_view digits) {
      int64_t value = 0;
      for (char c : digits) value = value * 10 + (c - '0');
      return value;
    };
    if (found == 0) {
      if (run.size() < 4) return 0;
      part[found++] = number(run.substr(0, 4));
      run.remove_prefix(4);
    }
    if (run.size() > 2 && run.size() % 2 != 0) return 0;  // no way to tell the fields
    while (!run.empty() && found < part.size()) {
      const size_t width = run.size() > 2 ? 2 : run.size();
      part[found++] = number(run.substr(0, width));
      run.remove_prefix(width);
    }
  }
  const auto [year, month, day, hour, minute, second] = part;
  if (found < 3 || year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 59) {
    return 0;
  }
  return ((((year * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

}  // namespace fahuo
