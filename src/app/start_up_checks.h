#pragma once
// The two files the window opens at start-up, and what the seller is told when they do
// not open.
#include <string>
#include <vector>

class QWidget;

namespace fahuo {

class ActivityLog;
class Dialogs;
class RecordTable;
class Shop;

// Opens the bill table at `path`; one that does not open is written anew when the seller
// agrees. Returns whether the table is open (a box said why not).
bool OpenOrRecreateBillTable(RecordTable& table, const std::string& path, Dialogs& dialogs,
                             QWidget* over);

// Opens the delivery ledger at `path` into the shop. A damaged file moved aside, or a
// ledger that does not open (nothing is mailed then), is told in a box; bills cut in
// "sending" by the last exit are logged. Returns those bills' serials.
std::vector<std::string> OpenDeliveryLedger(Shop& shop, const std::string& path, Dialogs& dialogs,
                                            ActivityLog& log, QWidget* over);

}  // namespace fahuo
