#pragma once
// A small round mark per delivery state, for the first column of the bill list: the seller
// sees what became of each bill without scrolling to the 发货状态 text at the right.
#include <QIcon>
#include <optional>

#include "ledger/ledger.h"

namespace fahuo {

// The state's colour (StateColour) with a white sign: ✓ sent, → on its way, a clock for a
// retry, ✕ failed, – skipped, ‖ held, a grey ✓ handled, ? unknown. A baseline bill, or one
// the ledger lacks, gets an icon that paints nothing, so every row's number stays in line.
QIcon StateIcon(std::optional<BillState> state);

}  // namespace fahuo
