#pragma once
// The question about payments received while fahuo was not watching: deliver them now by
// the rules (是) or mark them handled (否). Asked once at a time, with an alert and a tray
// message for the seller who is away; the answer is written on the sender's worker.
#include <QString>
#include <functional>

#include "delivery/delivery_events.h"

class QWidget;

namespace fahuo {

class Dialogs;
class Shop;

class HeldPaymentsPrompt {
 public:
  struct Parts {
    Shop& shop;
    Dialogs& dialogs;
    QWidget* window;  // the box's parent
    DeliveryReports reports;
    std::function<void(size_t count)> held_waiting;                         // the alerts
    std::function<void(const QString& title, const QString& text)> notify;  // the tray
    std::function<void(std::function<void()>)> run_seller_action;  // on the sender's worker
  };
  explicit HeldPaymentsPrompt(Parts parts) : parts_(std::move(parts)) {}

  // Asks when payments are held and no question is open. UI thread.
  void Ask();

 private:
  const Parts parts_;
  bool asking_ = false;
};

}  // namespace fahuo
