#pragma once
// Carries alerts to the seller over the chosen channels (a mail over the seller's own
// account, a webhook POST) on a worker thread of its own, with time-outs and retries, so a
// channel that hangs or fails never holds the reading or the sending.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "alerts/alerts.h"
#include "delivery/mail_setup.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"

namespace fahuo {

class Worker;

// Where alerts go. Texts GBK but the URL and the format name (UTF-8, as typed).
struct AlertChannels {
  MailAccount account;  // the account the alert mail goes out over
  // The second sending account: the alert mail goes over it when the first refuses it (a
  // refused mailbox is often what the alert is about).
  std::optional<MailAccount> backup;
  std::string mail_to;  // empty: no alert mail
  std::string webhook;  // empty: no webhook
  std::string format;   // 推送格式; empty: found from the URL
  bool Any() const { return !mail_to.empty() || !webhook.empty(); }
};

class AlertCourier {
 public:
  struct Options {
    mail::Options mail;
    HttpOptions http{10000, 20000, {}};
    // The waits before the second and later tries of a channel that failed.
    std::vector<int> retry_seconds{30, 120};
  };
  // `log` receives GBK lines (ending in CR LF) from the courier's thread.
  AlertCourier(Options options, std::function<void(const std::string&)> log);
  ~AlertCourier();  // Stop()
  AlertCourier(const AlertCourier&) = delete;
  AlertCourier& operator=(const AlertCourier&) = delete;

  // Any thread. Alerts already queued go out over the channels they were queued with.
  void SetChannels(AlertChannels channels);
  // Queues `alert` over the current channels (none set: dropped). At most kMaxQueued wait;
  // beyond them an alert is dropped with one log line.
  void Send(Alert alert);
  // Tries each of `channels` once (and logs into the spare account), behind the queued
  // alerts; `done` receives, on the courier's thread, the report for the seller (GBK, one
  // line per channel) and whether every channel took the test.
  void Test(AlertChannels channels, std::function<void(const std::string&, bool)> done);

  // Cuts the exchange under way and the waits, drops what is queued. Idempotent.
  void Stop();

  static constexpr int kMaxQueued = 20;

  // One try of each channel; the error text for the seller (GBK), empty on success.
  // `first_error` (optional) receives why the first account failed when the second sent.
  std::string TryMail(const AlertChannels& channels, const Alert& alert,
                      std::string* first_error = nullptr);
  std::string TryWebhook(const AlertChannels& channels, const Alert& alert);

 private:
  // Mails `alert` over `account`; without one only logs in.
  std::string TryMailOver(const MailAccount& account, const std::string& to, const Alert* alert);
  void Deliver(const AlertChannels& channels, const Alert& alert);
  // Logs the first failure of a run of failures and the recovery after one.
  void Note(bool& failing, const char* channel_utf8, const std::string& error);
  bool Wait(int seconds);  // false when stopped meanwhile

  const Options options_;
  const std::function<void(const std::string&)> log_;
  HttpClient http_;  // its own: the browser's cookies never go to a push service
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  int queued_ = 0;
  bool overflow_logged_ = false;
  AlertChannels channels_;
  mail::SessionSlot mail_slot_;  // the alert mail's session, which Stop cuts
  // Courier-thread state.
  bool mail_failing_ = false;
  bool webhook_failing_ = false;
  std::unique_ptr<Worker> worker_;
};

}  // namespace fahuo
