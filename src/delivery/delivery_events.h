#pragma once
// What the reader, the sender and the seller's actions report, split by who listens: the
// seller's view (log lines, boxes, tray messages) and the events that others follow (the
// bill list, the sign-in page, the alerts). Every text is GBK. The Qt side carries each call
// to the UI thread without making the caller wait.
#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace fahuo {

// What the seller is shown.
class SellerView {
 public:
  virtual ~SellerView() = default;
  virtual void AppendLog(const std::string& gbk_line) = 0;    // the line ends in CR LF
  virtual void ShowMessage(const std::string& gbk_text) = 0;  // OK only, default caption
  // A notice for the seller who is not looking at the window (a tray message). The log
  // already holds the matching line, so a view may ignore it.
  virtual void Notify(const std::string& /*gbk_title*/, const std::string& /*gbk_text*/) {}
};

// What happened, for whoever follows it. Each listener takes the events it needs.
class DeliveryEvents {
 public:
  virtual ~DeliveryEvents() = default;
  virtual void BillsChanged() {}                       // the bill lists or their states changed
  virtual void SignInLapsed() {}                       // the records page asks for a sign-in
  virtual void SignInRestored() {}                     // the records read again
  virtual void HeldPaymentsFound(size_t /*count*/) {}  // payments wait for the seller's word
  // The service shows a verification or risk page in the records' place (`needed`), or the
  // records read again: to be solved in the browser; reading is held back meanwhile.
  virtual void VerificationNeeded(bool /*needed*/) {}
  // What the sender found of the first mailbox: `error` is empty when it took a login or a
  // mail, else the mail client's text of the refusal.
  virtual void MailboxAnswered(const std::string& /*error*/) {}
  // A bill whose mail was refused for good: it waits for the seller.
  virtual void BillFailed(const std::string& /*serial*/) {}
  // A paid order settled "skipped" (`reason`: a skip:: word — no rule, no readable amount,
  // no address): it waits for the seller.
  virtual void BillSkipped(const std::string& /*serial*/, const std::string& /*reason*/) {}
  // A stock of codes (its name, GBK) ran low, or out (`empty`); the log and Notify have it.
  virtual void StockShort(const std::string& /*gbk_stock*/, bool /*empty*/) {}
  // A bill's mail came back (bounced): it waits for the seller.
  virtual void BillBounced(const std::string& /*serial*/) {}
  // What the bounce reader found of an account's inbox (`account`: its address): `error`
  // empty when it logged in, else why not (GBK).
  virtual void InboxAnswered(const std::string& /*account*/, const std::string& /*error*/) {}
};

// Hands each event to every listener, in the order given. The list is fixed when the hub is
// made, so the reader's and the sender's threads read it without a lock.
class DeliveryEventHub : public DeliveryEvents {
 public:
  explicit DeliveryEventHub(std::vector<std::shared_ptr<DeliveryEvents>> listeners)
      : listeners_(std::move(listeners)) {}

  void BillsChanged() override {
    Each([](DeliveryEvents& l) { l.BillsChanged(); });
  }
  void SignInLapsed() override {
    Each([](DeliveryEvents& l) { l.SignInLapsed(); });
  }
  void SignInRestored() override {
    Each([](DeliveryEvents& l) { l.SignInRestored(); });
  }
  void HeldPaymentsFound(size_t count) override {
    Each([count](DeliveryEvents& l) { l.HeldPaymentsFound(count); });
  }
  void VerificationNeeded(bool needed) override {
    Each([needed](DeliveryEvents& l) { l.VerificationNeeded(needed); });
  }
  void MailboxAnswered(const std::string& error) override {
    Each([&error](DeliveryEvents& l) { l.MailboxAnswered(error); });
  }
  void BillFailed(const std::string& serial) override {
    Each([&serial](DeliveryEvents& l) { l.BillFailed(serial); });
  }
  void BillSkipped(const std::string& serial, const std::string& reason) override {
    Each([&serial, &reason](DeliveryEvents& l) { l.BillSkipped(serial, reason); });
  }
  void StockShort(const std::string& gbk_stock, bool empty) override {
    Each([&gbk_stock, empty](DeliveryEvents& l) { l.StockShort(gbk_stock, empty); });
  }
  void BillBounced(const std::string& serial) override {
    Each([&serial](DeliveryEvents& l) { l.BillBounced(serial); });
  }
  void InboxAnswered(const std::string& account, const std::string& error) override {
    Each([&account, &error](DeliveryEvents& l) { l.InboxAnswered(account, error); });
  }

 private:
  template <typename Fn>
  void Each(Fn fn) {
    for (const std::shared_ptr<DeliveryEvents>& l : listeners_) {
      if (l) fn(*l);
    }
  }
  const std::vector<std::shared_ptr<DeliveryEvents>> listeners_;
};

// Where one read, delivery or seller's action reports: borrowed for the call.
class DeliveryOutlet {
 public:
  DeliveryOutlet(SellerView& seller_view, DeliveryEvents& delivery_events)
      : view(seller_view), events(delivery_events) {}
  // One object that shows and listens both (a test's recorder).
  template <typename Both>
  requires(std::is_base_of_v<SellerView, Both>&& std::is_base_of_v<DeliveryEvents, Both>)
      DeliveryOutlet(Both& both)  // NOLINT(google-explicit-constructor): a recorder passes as is
      : view(both), events(both) {}

  SellerView& view;
  DeliveryEvents& events;
};

// The same, owned: what the window's parts hand to a worker job, which keeps both alive
// while it runs.
struct DeliveryReports {
  std::shared_ptr<SellerView> view;
  std::shared_ptr<DeliveryEvents> events;
  DeliveryOutlet Outlet() const { return {*view, *events}; }
};

}  // namespace fahuo
