#pragma once
// The main window as a delivery pass sees it: every call is carried to the UI thread.
#include <QString>
#include <functional>
#include <memory>

#include "delivery/delivery_pass.h"

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
  std::function<void(const QString& title, const QString& text)> notify;
};

// Log lines go to `log`; boxes open over `window`, through `dialogs`. Both must outlive
// every pass that holds the adapter. Once the window is gone no box opens and no hook runs.
std::shared_ptr<DeliveryWindow> MakeDeliveryWindow(QWidget* window, Dialogs& dialogs,
                                                   ActivityLog& log, DeliveryWindowHooks hooks);

}  // namespace fahuo
