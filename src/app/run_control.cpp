#include "app/run_control.h"

#include <QTimer>

#include "app/core/activity_log.h"
#include "app/core/run_logic.h"
#include "app/delivery_window_adapter.h"
#include "app/main_window.h"
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

RunControl::RunControl(MainWindow* window)
    : QObject(window),
      window_(window),
      shop_(&window->shop()),
      delivery_window_(MakeDeliveryWindow(window)),
      pass_worker_(std::make_unique<Worker>()),
      keep_alive_worker_(std::make_unique<Worker>()) {
  Shop* shop = shop_;
  run_pass = [shop](DeliveryWindow& w, const MailAccount& account) { shop->RunPass(account, w); };
  keep_alive_request = [shop] {
    const std::string address = shop->CurrentRecordsAddress();
    if (!address.empty()) HttpGet(address);  // the answer is dropped; failures are retried later
  };
  connect(window->按钮1, &QPushButton::clicked, this, &RunControl::OnStartStopClicked);
  connect(window->时钟_刷新, &QTimer::timeout, this, &RunControl::OnRefreshTick);
  connect(window->时钟_记时, &QTimer::timeout, this, &RunControl::OnElapsedTick);
  connect(window->时钟_防止掉线, &QTimer::timeout, this, &RunControl::OnKeepAliveTick);
}

RunControl::~RunControl() { Shutdown(); }

void RunControl::Shutdown() {
  shop_->RequestStop();
  pass_worker_->Stop();
  keep_alive_worker_->Stop();
}

bool RunControl::running() const { return window_->按钮1->text() == kStop; }

void RunControl::OnStartStopClicked() {
  MainWindow* w = window_;
  const int n = ParseInterval(w->编辑框_间隔时间->text().toStdString());
  if (n < kMinIntervalMs) {
    ShowMessage(w, QStringLiteral("请设置1000毫秒以上，以免刷新太快"), QStringLiteral("错误"),
                Dialogs::Icon::kInformation);
    return;
  }
  if (n > kMaxIntervalMs) {
    ShowMessage(w, QStringLiteral("刷新时间最好不要超过一分钟，以免登录失效"),
                QStringLiteral("错误"), Dialogs::Icon::kInformation);
    return;
  }
  QLineEdit* fields[] = {w->编辑框_间隔时间, w->编辑框_邮箱密码, w->编辑框_邮箱用户名,
                         w->编辑框_邮箱服务器地址};
  if (w->按钮1->text() == kStart) {
    std::string notice;
    if (!LoadRuleList(&notice)) {
      ShowMessage(w, QStringLiteral("打开数据库失败，请先设置邮件规则"));
      return;
    }
    if (!notice.empty()) TheActivityLog().Append(notice + "\r\n");
    account_ = {ToGbk(w->编辑框_邮箱服务器地址->text()), ToGbk(w->编辑框_邮箱用户名->text()),
                ToGbk(w->编辑框_邮箱密码->text())};
    w->按钮1->setText(kStop);
    for (QLineEdit* f : fields) f->setEnabled(false);
    w->时钟_刷新->start(n);
    w->时钟_记时->start(1000);
    w->按钮_设置->setEnabled(false);
  } else {
    w->按钮_设置->setEnabled(true);
    w->按钮1->setText(kStart);
    for (QLineEdit* f : fields) f->setEnabled(true);
    w->时钟_刷新->stop();
    w->时钟_记时->stop();
  }
}

void RunControl::OnRefreshTick() {
  // A tick while the pass still works is dropped, so ticks never queue.
  pass_worker_->TryPost(
      [pass = run_pass, window = delivery_window_, account = account_] { pass(*window, account); });
}

void RunControl::DeliverNow() {
  const MailAccount account = running() ? account_
                                        : MailAccount{ToGbk(window_->编辑框_邮箱服务器地址->text()),
                                                      ToGbk(window_->编辑框_邮箱用户名->text()),
                                                      ToGbk(window_->编辑框_邮箱密码->text())};
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
  window_->标签_时间->setText(QString::fromStdString(ElapsedCaption(elapsed_seconds_)));
}

void RunControl::OnKeepAliveTick() {
  const int64_t now = CurrentClock().TickMs();
  if (last_keep_alive_tick_ && !KeepAliveDue(now, *last_keep_alive_tick_)) return;
  last_keep_alive_tick_ = now;
  keep_alive_worker_->TryPost([request = keep_alive_request] { request(); });
}

}  // namespace fahuo
