#pragma once
// The seller's actions on one bill: send it again, send it elsewhere, settle it by hand.
// Every resend counts in LedgerEntry::resends.
// Each is recorded in the ledger, logged, and followed by out.events.BillsChanged(). A bill in
// "sending" refuses them all: its mail may be on its way. `serial` and texts are GBK.
#include <string>

#include "delivery/delivery_pass.h"
#include "delivery/orders.h"

namespace fahuo {

struct ActionOutcome {
  bool ok = false;
  std::string message;  // GBK, for a box when !ok
};

class SellerActions {
 public:
  explicit SellerActions(Orders& orders) : orders_(orders) {}

  // The bill becomes pending again and goes out with the next delivery: to the same
  // recipient, with the rule that matches its amount now.
  ActionOutcome Resend(const std::string& serial, const DeliveryOutlet& out);
  // The same to `address` (GBK, typed by the seller; refused unless a valid mail address).
  ActionOutcome ResendTo(const std::string& serial, const std::string& address,
                         const DeliveryOutlet& out);
  // 改地址重发: the same as ResendTo, for a bill whose address was wrong (a typo, a bounce);
  // the codes the bill holds go out again. The ledger keeps the address first used (as the
  // buyer typed it) in typed_recipient. Refused with the reason unless a valid address.
  ActionOutcome ChangeAddress(const std::string& serial, const std::string& address,
                              const DeliveryOutlet& out);
  // The bill is settled by the seller and never mailed.
  ActionOutcome MarkHandled(const std::string& serial, const DeliveryOutlet& out);
  // The codes of a bill that was never mailed (failed, unknown, handled, out of stock) go
  // back to their stocks, for the next buyer; refused for any other bill.
  ActionOutcome ReturnCodes(const std::string& serial, const DeliveryOutlet& out);

 private:
  // Makes a bill pending again for the next delivery (Resend, ResendTo, ChangeAddress),
  // counting the seller's resend; `address` replaces the recipient when given.
  ActionOutcome Requeue(const std::string& serial, const std::string* address,
                        const DeliveryOutlet& out, bool changed_address);

  Orders& orders_;
};

}  // namespace fahuo
