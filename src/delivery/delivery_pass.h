#pragma once
// What reading the records and mailing the due bills need of the outside world: where
// they report (delivery/delivery_events.h), the mail account they send with, and the network calls
// tests replace. The work itself: RecordsReader and Sender, wired by the Shop (delivery/shop.h).
#include <functional>
#include <string>

#include "delivery/delivery_events.h"
#include "delivery/mail_setup.h"  // MailAccount

namespace fahuo {

// The network calls, for tests. Empty members take the real ones: the shop's HTTP client,
// and a mail session of the delivery's own on the default port.
struct DeliveryServices {
  std::function<std::string(const std::string& address)> fetch;  // body, empty on failure
  // Empty text on success, else why the connection failed.
  std::function<std::string(const MailAccount& account)> connect;
  std::function<std::string(const std::string& subject, const std::string& body,
                            const std::string& recipient, const std::string& sender)>
      send;  // error text, empty when the mail was accepted
};

// How a refused send is treated: true when trying again later may succeed (a 4xx reply, a
// dropped connection, a time-out, no connection), false when the server refused the mail
// or the recipient for good (5xx) or the mail could not be formed at all.
bool SendErrorIsTemporary(const std::string& error);

// Seconds to wait before the next try after `attempts` failed ones: 1, 2, 4 ... minutes,
// at most 30.
int64_t RetryDelaySeconds(int attempts);

}  // namespace fahuo
