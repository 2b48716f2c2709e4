#pragma once
// How a bill's delivery state reads and looks in the seller's lists (the main bill list and
// the delivery record share it). Texts are UTF-8: they go straight to the window.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger.h"

namespace fahuo {

// The state's Chinese name ("已发送", "等待发送", ...).
std::string_view StateLabel(BillState state);

// Why a bill was skipped, in the seller's words ("没有留言", for skip::kNoNote); empty for
// any other word.
std::string_view SkipReasonLabel(std::string_view reason);

// What the list shows for an entry: its state's name; for a skipped bill the reason too
// ("已跳过：没有留言").
std::string StateText(const LedgerEntry& entry);

// The states that wait for the seller: the program will not settle them by itself
// (failed, skipped, held, unknown, out of stock; a retrying bill is tried again on its own).
bool NeedsSeller(BillState state);
const std::vector<BillState>& SellerStates();

// Every state, in the order a state filter offers them.
const std::vector<BillState>& FilterStates();

// A text colour for the state, 0xRRGGBB, readable on a light background.
uint32_t StateColour(BillState state);

// A time of first sight as the lists show it: "yyyy.MM.dd HH:mm", local time.
std::string FormatSeenTime(int64_t unix_seconds);

}  // namespace fahuo
