#pragma once
// What reading the records and mailing the due bills need of the outside world: the window
// they report to, the mail account they send with, and the network calls tests replace.
// The work itself: RecordsReader and Sender, wired by the Shop (delivery/shop.h).
#include <functional>
#include <string>

#include "delivery/mail_setup.h"  // MailAccount

namespace fahuo {

// What the reader and the sender tell the main window. Every text is GBK. The Qt side carries each
// call to the UI thread without making the pass wait.
class DeliveryWindow {
 public:
  virtual ~DeliveryWindow() = default;
  virtual void AppendLog(const std::string& gbk_line) = 0;    // the line ends in CR LF
  virtual void ShowMessage(const std::string& gbk_text) = 0;  // OK only, default caption
  virtual void BillsChanged() = 0;    // the bill lists changed: redraw the selected one
  virtual void SignInLapsed() = 0;    // bring the browser back with the sign-in page
  virtual void SignInRestored() = 0;  // the records read again: show the bill list
  virtual void HeldPaymentsFound(size_t count) = 0;  // ask the seller what to do with them
  // A notice for the seller who is not looking at the window (a tray message). The log
  // already holds the matching line, so a window may ignore it.
  virtual void Notify(const std::string& /*gbk_title*/, const std::string& /*gbk_text*/) {}
  // What the sender found of the mailbox, for the alerts (delivery/alert_monitor.h): `error`
  // is empty when it took a login or a mail, else the mail client's text of the refusal.
  virtual void MailboxAnswered(const std::string& /*error*/) {}
  // A bill whose mail was refused for good: it waits for the seller.
  virtual void BillFailed(const std::string& /*serial*/) {}
  // A stock of codes (its name, GBK) ran low, or out (`empty`); the log and Notify have it.
  virtual void StockShort(const std::string& /*gbk_stock*/, bool /*empty*/) {}
};

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
