#pragma once
// The two files the window opens at start-up, and what the seller is told when they do
// not open.
#include <string>
#include <vector>

#include "delivery/shop.h"

class QWidget;

namespace fahuo {

class ActivityLog;
class Dialogs;
class RecordTable;

// Opens the bill table at `path`; one that does not open is written anew when the seller
// agrees. Returns whether the table is open (a box said why not).
bool OpenOrRecreateBillTable(RecordTable& table, const std::string& path, Dialogs& dialogs,
                             QWidget* over);

// What became of one attempt to open the delivery ledger.
struct LedgerOpening {
  bool open = false;
  bool busy = false;                     // another program holds the file: try again
  std::vector<std::string> interrupted;  // serials cut in "sending" by the last exit
};

// Opens the delivery ledger at `path` into the shop. A corrupt file moved aside, a file of a
// newer fahuo, or a ledger that does not open (nothing is mailed then) is told in a box; a
// busy file is told in the log once (`first_try`) and left for another try; bills cut in
// "sending" by the last exit are logged. Any thread but the boxes': the UI thread.
LedgerOpening TellLedgerOpening(const Shop::OpenReport& report, bool first_try, Dialogs& dialogs,
                                ActivityLog& log, QWidget* over);

}  // namespace fahuo
