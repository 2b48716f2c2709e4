#include "app/order_actions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPoint>

#include "delivery/shop.h"
#include "platform/gbk.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {

OrderActions::OrderActions(Shop& shop, DeliveryReports reports, ActionRunner run_action,
                           Dialogs& dialogs, QWidget* dialog_parent, QObject* parent)
    : QObject(parent),
      shop_(shop),
      reports_(std::move(reports)),
      run_action_(std::move(run_action)),
      dialogs_(dialogs),
      dialog_parent_(dialog_parent) {}

void OrderActions::Run(Action action) {
  ++pending_;
  emit pendingChanged(pending_);
  QPointer<OrderActions> self = this;
  Shop* shop = &shop_;
  run_action_([self, shop, reports = reports_, action = std::move(action)] {
    const ActionOutcome outcome = action(*shop, reports.Outlet());
    // Through the application: the menu's owner may be gone by the time the worker answers.
    PostToUi(QCoreApplication::instance(), [self, outcome] {
      if (self) self->Settle(outcome);
    });
  });
}

void OrderActions::Settle(const ActionOutcome& outcome) {
  --pending_;
  emit pendingChanged(pending_);
  if (!outcome.ok) {
    dialogs_.ShowMessage(dialog_parent_, FromGbk(outcome.message), {}, Dialogs::Icon::kWarning);
    return;
  }
  emit changed();
}

void OrderActions::Resend(const std::string& serial) {
  // A second mail to a buyer who has the goods is the seller's call, not a slip of the mouse.
  std::optional<LedgerEntry> entry = shop_.ledger().Find(serial);
  if (entry && entry->state == BillState::kSent &&
      dialogs_.Ask(
          dialog_parent_, Dialogs::Icon::kQuestion, {},
          QStringLiteral("这笔账单已经发送成功，确定再发送一次吗？\n%1").arg(FromGbk(serial)),
          Dialogs::Buttons::kYesNo) != Dialogs::Answer::kYes) {
    return;
  }
  Run([serial](Shop& shop, const DeliveryOutlet& w) { return shop.actions().Resend(serial, w); });
}

void OrderActions::ResendTo(const std::string& serial) {
  std::optional<LedgerEntry> entry = shop_.ledger().Find(serial);
  std::optional<QString> address =
      dialogs_.Input(dialog_parent_, QStringLiteral("发送到其他邮箱"),
                     QStringLiteral("把账单 %1 的发货邮件发送到：").arg(FromGbk(serial)),
                     entry ? FromGbk(entry->recipient) : QString());
  if (!address) return;
  Run([serial, typed = ToGbk(*address)](Shop& shop, const DeliveryOutlet& w) {
    return shop.actions().ResendTo(serial, typed, w);
  });
}

void OrderActions::ChangeAddress(const std::string& serial) {
  std::optional<LedgerEntry> entry = shop_.ledger().Find(serial);
  QString initial;
  if (entry) {
    // The suggested mend of a held address first, else the address the mail went to (or
    // was typed), for the seller to correct.
    const bool suggested =
        entry->skip_reason == skip::kSuspectAddress && !entry->last_error.empty();
    initial = FromGbk(suggested                   ? entry->last_error
                      : !entry->recipient.empty() ? entry->recipient
                                                  : entry->typed_recipient);
  }
  std::optional<QString> address = dialogs_.Input(
      dialog_parent_, QStringLiteral("改地址重发"),
      QStringLiteral("账单 %1 的新收件地址（原卡密不变）：").arg(FromGbk(serial)), initial);
  if (!address) return;
  Run([serial, typed = ToGbk(*address)](Shop& shop, const DeliveryOutlet& w) {
    return shop.actions().ChangeAddress(serial, typed, w);
  });
}

void OrderActions::MarkHandled(const std::string& serial) {
  Run([serial](Shop& shop, const DeliveryOutlet& w) {
    return shop.actions().MarkHandled(serial, w);
  });
}

void OrderActions::ReturnCodes(const std::string& serial) {
  if (dialogs_.Ask(dialog_parent_, Dialogs::Icon::kQuestion, {},
                   QStringLiteral("把账单 %1 的卡密退回库存吗？退回的卡密会发给下一位买家，"
                                  "只在确定这位买家没有收到时这样做。")
                       .arg(FromGbk(serial)),
                   Dialogs::Buttons::kYesNo) != Dialogs::Answer::kYes) {
    return;
  }
  Run([serial](Shop& shop, const DeliveryOutlet& w) {
    return shop.actions().ReturnCodes(serial, w);
  });
}

void OrderActions::CopySerial(const std::string& serial) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(FromGbk(serial));
  reports_.view->AppendLog(FAHUO_GBK("已复制流水号：") + serial + "\r\n");
}

std::unique_ptr<QMenu> OrderActions::MakeMenu(const std::string& serial, QWidget* parent) {
  auto menu = std::make_unique<QMenu>(parent);
  menu->addAction(QStringLiteral("重新发送"), this, [this, serial] { Resend(serial); });
  menu->addAction(QStringLiteral("发送到其他邮箱…"), this, [this, serial] { ResendTo(serial); });
  menu->addAction(QStringLiteral("改地址重发"), this, [this, serial] { ChangeAddress(serial); });
  menu->addAction(QStringLiteral("标记为已处理"), this, [this, serial] { MarkHandled(serial); });
  menu->addAction(QStringLiteral("退回卡密"), this, [this, serial] { ReturnCodes(serial); });
  menu->addSeparator();
  menu->addAction(QStringLiteral("复制流水号"), this, [this, serial] { CopySerial(serial); });
  return menu;
}

void OrderActions::ShowMenu(const QPoint& global_pos, const std::string& serial) {
  std::unique_ptr<QMenu> menu = MakeMenu(serial, dialog_parent_);
  menu->exec(global_pos);
}

}  // namespace fahuo
