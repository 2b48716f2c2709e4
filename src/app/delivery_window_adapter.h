#pragma once
// The main window as the reader, the sender and the seller's actions see it: the seller's
// view (log, boxes, tray) and the events the window follows; every call is carried to the UI
// thread.
#include <QString>
#include <functional>
#include <memory>

#include "delivery/delivery_events.h"

class QWidget;

namespace fahuo {

class ActivityLog;
class Dialogs;

// What a pass may ask of the window beyond the log and a box; each runs on the UI thread,
// and only while the window is there.
struct DeliveryWindowHooks {
  std::function<void()> bills_changed;
  std::function<void()> sign_in_lapsed;
  std::function<void()> sign_in_restored;
  std::function<void()> held_payments_found;
  std::function<void(bool needed)> verification_needed;
  std::function<void(const QString& title, const QString& text)> notify;
};

// Log lines go to `log`; boxes open over `window`, through `dialogs`. Both must outlive
// every pass that holds the adapter. Once the window is gone no box opens and no hook runs.
// The view and the events are one object, handed out as both.
DeliveryReports MakeDeliveryWindow(QWidget* window, Dialogs& dialogs, ActivityLog& log,
                                   DeliveryWindowHooks hooks);

}  // namespace fahuo
