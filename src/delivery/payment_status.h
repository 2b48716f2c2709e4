#pragma once
// Which rows of the records are orders: only a completed incoming payment is mailed. The
// rest are recorded with a state of their own (ledger/ledger.h) and never mailed by
// themselves.
#include "capture/bill_record.h"
#include "ledger/ledger.h"

namespace fahuo {

// The state a row new to the ledger starts in, from its status and the sign of its amount
// (GBK texts): kPending for a completed incoming payment; kAwaiting for a trade that waits
// for the buyer's payment; kNotPaid for a closed, refunded or failed one; kOutgoing for
// money paid out; kUnconfirmed for a status not known here. A row without a status is
// taken as paid: some listings show none.
BillState StateOfNewRow(const BillRecord& bill);

}  // namespace fahuo
