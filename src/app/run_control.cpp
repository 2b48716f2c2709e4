#include "app/run_control.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "app/core/activity_log.h"
#include "app/core/run_logic.h"
#include "delivery/shop.h"
#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/worker.h"
#include "rules/rule_table.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

const QString kStart = QStringLiteral("开始");
const QString kStop = QStringLiteral("停止");

}  // namespace

RunControl::RunControl(const Controls& controls, Shop& shop, std::shared_ptr<DeliveryWindow> window,
                       const AppServices& services, QObject* parent)
    : QObject(parent),
      c_(controls),
      services_(services),
      shop_(&shop),
      delivery_window_(std::move(window)),
      pass_worker_(std::make_unique<Worker>()),
      keep_alive_worker_(std::make_unique<Worker>()) {
  run_pass = [s = shop_](DeliveryWindow& w, const MailAccount& account) { s->RunPass(account, w); };
  keep_alive_request = [s = shop_] {
    const std::string address = s->CurrentRecordsAddress();
    if (!address.empty()) HttpGet(address);  // the answer is dropped; failures are retried later
  };
  connect(c_.按钮1, &QPushButton::clicked, this, &RunControl::OnStartStopClicked);
  connect(c_.时钟_刷新, &QTimer::timeout, this, &RunControl::OnRefreshTick);
  connect(c_.时钟_记时, &QTimer::timeout, this, &RunControl::OnElapsedTick);
  connect(c_.时钟_防止掉线, &QTimer::timeout, this, &RunControl::OnKeepAliveTick);
}

RunControl::~RunControl() { Shutdown(); }

void RunControl::Shutdown() {
  shop_->RequestStop();
  pass_worker_->Stop();
  keep_alive_worker_->Stop();
}

bool RunControl::running() const { return c_.按钮1->text() == kStop; }

MailAccount RunControl::FieldsAccount() const {
  return {ToGbk(c_.编辑框_邮箱服务器地址->text()), ToGbk(c_.编辑框_邮箱用户名->text()),
          ToGbk(c_.编辑框_邮箱密码->text())};
}

void RunControl::OnStartStopClicked() {
  const int n = ParseInterval(c_.编辑框_间隔时间->text().toStdString());
  if (n < kMinIntervalMs) {
    services_.dialogs.ShowMessage(c_.window, QStringLiteral("请设置1000毫秒以上，以免刷新太快"),
                                  QStringLiteral("错误"), Dialogs::Icon::kInformation);
    return;
  }
  if (n > kMaxIntervalMs) {
    services_.dialogs.ShowMessage(c_.window,
                                  QStringLiteral("刷新时间最好不要超过一分钟，以免登录失效"),
                                  QStringLiteral("错误"), Dialogs::Icon::kInformation);
    return;
  }
  QLineEdit* fields[] = {c_.编辑框_间隔时间, c_.编辑框_邮箱密码, c_.编辑框_邮箱用户名,
                         c_.编辑框_邮箱服务器地址};
  if (c_.按钮1->text() == kStart) {
    std::string notice;
    if (!LoadRuleList(RuleTablePath(services_.data_folder), &notice)) {
      services_.dialogs.ShowMessage(c_.window, QStringLiteral("打开数据库失败，请先设置邮件规则"));
      return;
    }
    if (!notice.empty()) services_.log.Append(notice + "\r\n");
    account_ = FieldsAccount();
    c_.按钮1->setText(kStop);
    for (QLineEdit* f : fields) f->setEnabled(false);
    c_.时钟_刷新->start(n);
    c_.时钟_记时->start(1000);
    c_.按钮_设置->setEnabled(false);
  } else {
    c_.按钮_设置->setEnabled(true);
    c_.按钮1->setText(kStart);
    for (QLineEdit* f : fields) f->setEnabled(true);
    c_.时钟_刷新->stop();
    c_.时钟_记时->stop();
  }
}

void RunControl::OnRefreshTick() {
  // A tick while the pass still works is dropped, so ticks never queue.
  pass_worker_->TryPost(
      [pass = run_pass, window = delivery_window_, account = account_] { pass(*window, account); });
}

void RunControl::DeliverNow() {
  const MailAccount account = running() ? account_ : FieldsAccount();
  Shop* shop = shop_;
  const bool posted = pass_worker_->TryPost(
      [shop, window = delivery_window_, account] { shop->DeliverDueNow(account, *window); });
  if (posted || shop_->Stopping()) {
    deliver_now_tries_ = 0;
    return;
  }
  // A pass is under way and has read its due bills already: try again shortly, for a
  // minute at most (a pass is bounded by the network time-outs).
  if (++deliver_now_tries_ > 120) {
    deliver_now_tries_ = 0;
    return;
  }
  QTimer::singleShot(500, this, [this] { DeliverNow(); });
}

void RunControl::OnElapsedTick() {
  ++elapsed_seconds_;
  c_.标签_时间->setText(QString::fromStdString(ElapsedCaption(elapsed_seconds_)));
}

void RunControl::OnKeepAliveTick() {
  const int64_t now = CurrentClock().TickMs();
  if (last_keep_alive_tick_ && !KeepAliveDue(now, *last_keep_alive_tick_)) return;
  last_keep_alive_tick_ = now;
  keep_alive_worker_->TryPost([request = keep_alive_request] { request(); });
}

}  // namespace fahuo
