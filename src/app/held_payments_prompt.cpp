#include "app/held_payments_prompt.h"

#include "delivery/shop.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace fahuo {

void HeldPaymentsPrompt::Ask() {
  const size_t held = parts_.shop.baseline().HeldCount();
  if (held == 0 || asking_) return;
  asking_ = true;
  parts_.held_waiting(held);
  parts_.notify(QStringLiteral("有未发货的付款"),
                QStringLiteral("有 %1 笔付款是在发货程序未运行时收到的").arg(held));
  auto answer = parts_.dialogs.Ask(
      parts_.window, Dialogs::Icon::kQuestion, QStringLiteral("未运行期间的付款"),
      QStringLiteral("有 %1 笔付款是在发货程序未运行时收到的。\n是否现在按发货规则发货？\n"
                     "选择“否”则标记为已处理，不发送邮件。")
          .arg(held),
      Dialogs::Buttons::kYesNo);
  asking_ = false;
  const bool deliver = answer == Dialogs::Answer::kYes;
  // On the sender's worker, as every durable change; the log line and the redraw follow.
  parts_.run_seller_action([shop = &parts_.shop, reports = parts_.reports, deliver] {
    const size_t settled = shop->baseline().ResolveHeld(deliver);
    reports.view->AppendLog(
        ToGbk(deliver ? QStringLiteral("%1 笔未运行期间的付款将按发货规则发货\r\n").arg(settled)
                      : QStringLiteral("%1 笔未运行期间的付款已标记为已处理\r\n").arg(settled)));
    reports.events->BillsChanged();
  });
}

}  // namespace fahuo
