#include "app/status_line.h"

#include <QDateTime>
#include <QLabel>
#include <ctime>
#include <optional>

#include "delivery/shop.h"
#include "ledger/bill_state_text.h"
#include "platform/local_time.h"

namespace fahuo {
namespace {

// Local midnight of the day `now` falls in.
int64_t StartOfDay(int64_t now) {
  std::tm local{};
  ToLocalTime(now, local);
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  local.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&local));
}

}  // namespace

StatusLine::StatusLine(Shop& shop, QLabel* label, std::function<int()> pending_actions)
    : shop_(shop), label_(label), pending_actions_(std::move(pending_actions)) {}

void StatusLine::Recount() {
  const int64_t now = shop_.clock().UnixSeconds();
  Ledger& ledger = shop_.ledger();
  sent_today_ = static_cast<int64_t>(ledger.CountSentSince(StartOfDay(now)));
  LedgerFilter waiting;
  waiting.states = SellerStates();
  need_seller_ = static_cast<int64_t>(ledger.Count(waiting));
}

void StatusLine::SettingsWriteFailed(const QString& message) {
  settings_notice_ = message;
  label_->setText(message);
}

void StatusLine::SettingsWriteRecovered(const QString& message) {
  settings_notice_.clear();
  label_->setText(message);
}

void StatusLine::Show() {
  if (!shop_.baseline().Loaded()) return;  // the page-loading progress is on the line
  if (!settings_notice_.isEmpty()) {
    label_->setText(settings_notice_);
    return;
  }
  if (shop_.SignInLapsed()) {
    label_->setText(QStringLiteral("登录已失效，请在网页中重新登录"));
    return;
  }
  if (shop_.VerificationNeeded()) {
    label_->setText(QStringLiteral("收款账户要求安全验证，请在网页中完成；之前每分钟读取一次"));
    return;
  }
  if (pending_actions_ && pending_actions_() > 0) {
    // The sender's worker runs them after the mail under way, which may take a while.
    label_->setText(QStringLiteral("正在处理您的操作，请稍候（等待当前邮件发送结束）…"));
    return;
  }
  if (const std::optional<int64_t> until = shop_.sender().PauseEnd()) {
    // The link is the seller's way to end it early (MainWindow wires it).
    label_->setText(
        QStringLiteral("发信邮箱被服务商暂停发送，%1 自动恢复    <a href=\"resume\">恢复发送</a>")
            .arg(QDateTime::fromSecsSinceEpoch(*until).toString(QStringLiteral("HH:mm"))));
    label_->setStyleSheet(QStringLiteral("color: rgb(200,0,0);"));
    return;
  }
  if (shop_.baseline().Missing()) {
    label_->setText(QStringLiteral("交易记录暂时无法读取，开始发货后的第一次刷新将读取交易记录"));
    return;
  }
  const int64_t read = shop_.LastRecordsRead();
  label_->setText(
      QStringLiteral("交易记录最近读取：%1    今日已发货：%2 笔    需要处理：%3 笔")
          .arg(read ? QDateTime::fromSecsSinceEpoch(read).toString(QStringLiteral("HH:mm:ss"))
                    : QStringLiteral("—"))
          .arg(sent_today_)
          .arg(need_seller_));
  label_->setStyleSheet(need_seller_ ? QStringLiteral("color: rgb(200,0,0);")
                                     : QStringLiteral("color: rgb(128,128,128);"));
}

}  // namespace fahuo
