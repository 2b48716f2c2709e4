#include "app/start_up_checks.h"

#include <QString>

#include "app/core/activity_log.h"
#include "platform/gbk.h"
#include "platform/record_table.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace fahuo {

bool OpenOrRecreateBillTable(RecordTable& table, const std::string& path, Dialogs& dialogs,
                             QWidget* over) {
  if (table.Open(path, &BillTableFields(), "zhifubaoZD")) return true;
  auto answer = dialogs.Ask(over, Dialogs::Icon::kQuestion, QStringLiteral("写出新的数据库"),
                            QStringLiteral("打开本地数据库失败，是否重新写出数据库"),
                            Dialogs::Buttons::kYesNo);
  if (answer != Dialogs::Answer::kYes) return false;
  if (!RecordTable::CreateEmpty(path, BillTableFields())) {
    dialogs.ShowMessage(over, QStringLiteral("写出初始化数据库失败"), QStringLiteral("错误"),
                        Dialogs::Icon::kWarning);
    return false;
  }
  if (!table.Open(path, &BillTableFields(), "zhifubaoZD")) {
    dialogs.ShowMessage(over, QStringLiteral("打开数据库失败，请关闭程序后重新再试"),
                        QStringLiteral("错误"), Dialogs::Icon::kCritical);
    return false;
  }
  return true;
}

LedgerOpening TellLedgerOpening(const Shop::OpenReport& report, bool first_try, Dialogs& dialogs,
                                ActivityLog& log, QWidget* over) {
  LedgerOpening opening;
  if (report.busy) {
    // Nothing is read or mailed meanwhile, so no payment passes for baseline or is lost:
    // they wait on the records pages.
    opening.busy = true;
    if (first_try) {
      log.Append(
          ToGbk(QStringLiteral("发货记录文件正被其他程序使用（如正在导入卡密），"
                               "稍后自动重试；打开之前不读取交易记录、不发送邮件\r\n")));
    }
    return opening;
  }
  if (!report.moved_aside_to.empty()) {
    dialogs.ShowMessage(over,
                        QStringLiteral("发货记录文件已损坏，已另存为 %1，并新建了发货记录。")
                            .arg(QString::fromStdString(report.moved_aside_to)),
                        QStringLiteral("错误"), Dialogs::Icon::kWarning);
  }
  if (report.newer) {
    dialogs.ShowMessage(
        over,
        QStringLiteral("发货记录文件由更新版本的发货程序写入，本程序不能使用它，"
                       "不会发送任何邮件。文件未做任何改动，请安装新版本的发货程序。"),
        QStringLiteral("错误"), Dialogs::Icon::kCritical);
    return opening;
  }
  if (!report.ok) {
    dialogs.ShowMessage(over,
                        QStringLiteral("发货记录无法打开，不会发送任何邮件：%1")
                            .arg(QString::fromStdString(report.error)),
                        QStringLiteral("错误"), Dialogs::Icon::kCritical);
    return opening;
  }
  opening.open = true;
  if (!first_try) log.Append(ToGbk(QStringLiteral("发货记录文件已打开，继续发货\r\n")));
  std::string listed;
  for (const LedgerEntry& e : report.interrupted) {
    opening.interrupted.push_back(e.bill.流水号);
    listed += (listed.empty() ? "" : "，") + GbkToUtf8(e.bill.流水号);
  }
  if (!report.settle_error.empty()) {
    log.Append(
        ToGbk(QStringLiteral("发货记录无法写入：%1（上次中断的账单仍记为正在发送，不会重发）\r\n")
                  .arg(QString::fromStdString(report.settle_error))));
  }
  if (!opening.interrupted.empty()) {
    log.Append(ToGbk(
        QStringLiteral(
            "上次退出时有 %1 笔账单正在发送，无法确认买家是否收到，未重新发送，请核对：%2\r\n")
            .arg(opening.interrupted.size())
            .arg(QString::fromStdString(listed))));
  }
  return opening;
}

}  // namespace fahuo
