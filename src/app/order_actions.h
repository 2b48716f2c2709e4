#pragma once
// The seller's actions on one bill, for the main bill list's right-click and the delivery
// record: 重新发送, 发送到其他邮箱…, 改地址重发, 标记为已处理, 退回卡密, 复制流水号. UI thread
// only; the ledger writes run on the sender's worker, and the answer comes back here.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "delivery/delivery_pass.h"
#include "delivery/seller_actions.h"

class QMenu;
class QPoint;

namespace fahuo {

class Dialogs;
class Shop;

class OrderActions : public QObject {
  Q_OBJECT

 public:
  // `reports` receive the log lines and "bills changed"; `run_action` runs a job off the UI
  // thread (the sender's worker, which then mails what became due); boxes open over
  // `dialog_parent`, through `dialogs` (which outlives this).
  using ActionRunner = std::function<void(std::function<void()> job)>;
  OrderActions(Shop& shop, DeliveryReports reports, ActionRunner run_action, Dialogs& dialogs,
               QWidget* dialog_parent, QObject* parent = nullptr);

  // Serials are GBK, as the ledger keeps them. A refused action shows why in a box once the
  // worker has answered.
  void Resend(const std::string& serial);
  void ResendTo(const std::string& serial);  // asks for the address
  // 改地址重发: asks for the corrected address, offering the suggested mend of a held one.
  void ChangeAddress(const std::string& serial);
  void MarkHandled(const std::string& serial);
  void ReturnCodes(const std::string& serial);  // asks first
  void CopySerial(const std::string& serial);   // to the clipboard

  // The four actions as a menu (owned by the caller), and popped up at `global_pos`.
  std::unique_ptr<QMenu> MakeMenu(const std::string& serial, QWidget* parent = nullptr);
  void ShowMenu(const QPoint& global_pos, const std::string& serial);

  // Actions posted whose answer has not come back yet.
  int Pending() const { return pending_; }

 signals:
  // An action changed the ledger (the lists redraw).
  void changed();
  // Pending() changed: the window shows that an action is under way.
  void pendingChanged(int pending);

 private:
  using Action = std::function<ActionOutcome(Shop& shop, const DeliveryOutlet& out)>;
  // Runs `action` through the runner; its refusal is shown, its success emits changed().
  void Run(Action action);
  void Settle(const ActionOutcome& outcome);

  Shop& shop_;
  DeliveryReports reports_;
  ActionRunner run_action_;
  int pending_ = 0;
  Dialogs& dialogs_;
  QPointer<QWidget> dialog_parent_;
};

}  // namespace fahuo
