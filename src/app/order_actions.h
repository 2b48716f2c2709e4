#pragma once
// The seller's actions on one bill, for the main bill list's right-click and the delivery
// record: 重新发送, 发送到其他邮箱…, 标记为已处理, 复制流水号. UI thread only.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "delivery/delivery_pass.h"

class QMenu;
class QPoint;

namespace fahuo {

class Dialogs;
class Shop;

class OrderActions : public QObject {
  Q_OBJECT

 public:
  // `window` receives the log lines and "bills changed"; `deliver_now` starts a delivery of
  // the due bills (off the UI thread); boxes open over `dialog_parent`, through `dialogs`
  // (which outlives this).
  OrderActions(Shop& shop, std::shared_ptr<DeliveryWindow> window,
               std::function<void()> deliver_now, Dialogs& dialogs, QWidget* dialog_parent,
               QObject* parent = nullptr);

  // Serials are GBK, as the ledger keeps them. A refused action shows why in a box.
  void Resend(const std::string& serial);
  void ResendTo(const std::string& serial);  // asks for the address
  void MarkHandled(const std::string& serial);
  void CopySerial(const std::string& serial);  // to the clipboard

  // The four actions as a menu (owned by the caller), and popped up at `global_pos`.
  std::unique_ptr<QMenu> MakeMenu(const std::string& serial, QWidget* parent = nullptr);
  void ShowMenu(const QPoint& global_pos, const std::string& serial);

 signals:
  // An action changed the ledger (the lists redraw).
  void changed();

 private:
  // Shows a refusal; on success emits changed() and, for a resend, starts a delivery.
  void Settle(bool ok, const std::string& gbk_message, bool deliver);

  Shop& shop_;
  std::shared_ptr<DeliveryWindow> window_;
  std::function<void()> deliver_now_;
  Dialogs& dialogs_;
  QPointer<QWidget> dialog_parent_;
};

}  // namespace fahuo
