#pragma once
// Which rows of the records are orders: only a completed incoming payment is mailed. The
// rest are recorded with a state of their own (ledger/ledger.h) and never mailed by
// themselves.
#include <cstdint>
#include <string_view>

#include "capture/bill_record.h"
#include "ledger/ledger.h"

namespace fahuo {

// The state a row new to the ledger starts in, from its status and the sign of its amount
// (GBK texts): kPending for a completed incoming payment; kAwaiting for a trade that waits
// for the buyer's payment; kNotPaid for a closed, refunded or failed one; kOutgoing for
// money paid out; kUnconfirmed for a status not known here. A row without a status is
// taken as paid: some listings show none.
BillState StateOfNewRow(const BillRecord& bill);

// Whether a bill in `state` counts as a completed incoming payment in the shop's figures:
// every bill taken as an order (mailed or to be mailed, a trade paid after it was first
// seen included), and the baseline's and the seller's settled rows whose page says paid.
bool IsPaidOrder(BillState state, const BillRecord& bill);

// The payment's time as the records page shows it (日期, GBK: "2026.12.09 10:23",
// "2026-12-09 10:23:45") as a sortable number YYYYMMDDHHMMSS, seconds 0 when not shown;
// 0 when the text holds no such date.
int64_t PaidKey(std::string_view date);

}  // namespace fahuo
