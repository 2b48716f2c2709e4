#include "app/run_control.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "app/core/activity_log.h"
#include "app/core/run_logic.h"
#include "app/core/settings.h"
#include "delivery/bounce_reader.h"
#include "delivery/mail_presets.h"
#include "delivery/shop.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/worker.h"
#include "rules/rule_table.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

const QString kStart = QStringLiteral("开始");
const QString kStop = QStringLiteral("停止");

}  // namespace

RunControl::RunControl(const Controls& controls, Shop& shop, DeliveryReports reports,
                       const AppServices& services, QObject* parent)
    : QObject(parent),
      c_(controls),
      services_(services),
      shop_(&shop),
      reports_(std::move(reports)),
      reader_worker_(std::make_unique<Worker>()),
      sender_worker_(std::make_unique<Worker>()),
      keep_alive_worker_(std::make_unique<Worker>()),
      bounce_worker_(std::make_unique<Worker>()),
      bounce_rounds_(std::make_shared<BounceRounds>()) {
  bounce_round = [s = shop_](BounceRounds& rounds, const DeliveryOutlet& out) {
    rounds.Tick(s->bounces(), s->ledger(), s->clock().UnixSeconds(), out);
  };
  read_records = [s = shop_](const DeliveryOutlet& out) { s->ReadRecords(out); };
  deliver_due = [s = shop_](const DeliveryOutlet& out, const MailAccount& account) {
    s->DeliverDue(account, out);
  };
  keep_alive_request = [s = shop_] {
    const std::string address = s->baseline().CurrentRecordsAddress();
    // The answer is dropped; failures are retried later. While reading is held back, the
    // reader's once a minute is all the service gets.
    if (!address.empty() && !s->ReadingHeldBack()) s->http().Get(address);
  };
  connect(c_.按钮1, &QPushButton::clicked, this, &RunControl::OnStartStopClicked);
  connect(c_.时钟_刷新, &QTimer::timeout, this, &RunControl::OnRefreshTick);
  connect(c_.时钟_记时, &QTimer::timeout, this, &RunControl::OnElapsedTick);
  connect(c_.时钟_防止掉线, &QTimer::timeout, this, &RunControl::OnKeepAliveTick);
}

RunControl::~RunControl() { Shutdown(); }

void RunControl::Shutdown() {
  shop_->RequestStop();
  reader_worker_->Stop();
  sender_worker_->Stop();
  keep_alive_worker_->Stop();
  bounce_worker_->Stop();  // RequestStop aborted its inbox session
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
    if (!LoadRuleList(RuleTablePath(services_.data_folder), shop_->rules(), &notice)) {
      services_.dialogs.ShowMessage(c_.window, QStringLiteral("打开数据库失败，请先设置邮件规则"));
      return;
    }
    if (!notice.empty()) services_.log.Append(notice + "\r\n");
    account_ = FieldsAccount();
    bool unpaused = shop_->sender().SetPrimary(account_, SendingPace(account_.server, kSendPace));
    const std::optional<MailAccount> backup =
        backup_account ? backup_account() : std::optional<MailAccount>();
    unpaused |=
        shop_->sender().SetBackup(backup, backup ? SendingPace(backup->server, kBackupPace) : 0);
    // The provider's pause was about the account the seller has since changed.
    if (unpaused) services_.log.Append(FAHUO_GBK("发信邮箱已更改，不再暂停发送") + "\r\n");
    c_.按钮1->setText(kStop);
    PlanBounces(true);
    for (QLineEdit* f : fields) f->setEnabled(false);
    c_.时钟_刷新->start(n);
    c_.时钟_记时->start(1000);
    c_.按钮_设置->setEnabled(false);
  } else {
    c_.按钮_设置->setEnabled(true);
    c_.按钮1->setText(kStart);
    PlanBounces(false);
    for (QLineEdit* f : fields) f->setEnabled(true);
    c_.时钟_刷新->stop();
    c_.时钟_记时->stop();
  }
}

void RunControl::OnRefreshTick() {
  // A tick while the reader still works is dropped, so ticks never queue. A read that found
  // bills offers them to the sender at once; each tick also offers the retries that came due.
  reader_worker_->TryPost([this, read = read_records, reports = reports_] {
    read(reports.Outlet());
    PostToUi(this, [this] { OfferDelivery(); });
  });
  OfferDelivery();
  // Cheap when no round is due: one indexed read of the ledger.
  bounce_worker_->TryPost([round = bounce_round, rounds = bounce_rounds_, reports = reports_] {
    round(*rounds, reports.Outlet());
  });
}

void RunControl::TestInbox(const MailAccount& account, const std::string& server,
                           std::function<void(const std::string&, bool)> done) {
  const bool queued = bounce_worker_->Post([s = shop_, account, server, done] {
    const BounceReader::InboxCheck check = s->bounces().TestInbox(account, server);
    if (!check.connected) {
      done(
          FAHUO_GBK("无法登录收件箱：") + (check.error.empty() ? FAHUO_GBK("已停止") : check.error),
          false);
      return;
    }
    done(FAHUO_GBK("收件箱登录成功，共有 ") + std::to_string(check.messages) +
             FAHUO_GBK(" 封邮件；最近 ") + std::to_string(check.read) + FAHUO_GBK(" 封中有 ") +
             std::to_string(check.bounces) + FAHUO_GBK(" 封退信。"),
         true);
  });
  if (!queued) done(FAHUO_GBK("发货程序正在退出"), false);
}

void RunControl::PlanBounces(bool on) {
  BouncePlan plan;
  if (on) {
    const std::string path = SettingsPath(services_.data_folder);
    plan.enabled = ReadSetting(path, kBounceEnabled) != "0";
    plan.server = ReadSetting(path, kBounceServer);
    plan.interval_minutes = ParseBounceInterval(ReadSetting(path, kBounceInterval));
    plan.accounts.push_back(account_);
    if (backup_account) {
      if (std::optional<MailAccount> backup = backup_account()) plan.accounts.push_back(*backup);
    }
  }
  // Queued, never dropped: the worker's rounds see the plan in order.
  bounce_worker_->Post([rounds = bounce_rounds_, plan = std::move(plan)]() mutable {
    rounds->SetPlan(std::move(plan));
  });
}

int RunControl::SendingPace(const std::string& gbk_server, const SettingKey& key) const {
  // Missing, empty or not a pace (a hand edit): the provider's preset, never an unpaced mailbox.
  return ParsePace(ReadSetting(SettingsPath(services_.data_folder), key))
      .value_or(PresetPerMinute(gbk_server));
}

MailAccount RunControl::DeliveryAccount() const { return running() ? account_ : FieldsAccount(); }

void RunControl::OfferDelivery() {
  sender_worker_->TryPost([deliver = deliver_due, reports = reports_, account = DeliveryAccount()] {
    deliver(reports.Outlet(), account);
  });
}

void RunControl::RunSellerAction(std::function<void()> action) {
  sender_worker_->Post([action = std::move(action), deliver = deliver_due, reports = reports_,
                        account = DeliveryAccount()] {
    action();
    deliver(reports.Outlet(), account);
  });
}

void RunControl::OnElapsedTick() {
  ++elapsed_seconds_;
  c_.标签_时间->setText(QString::fromStdString(ElapsedCaption(elapsed_seconds_)));
}

void RunControl::OnKeepAliveTick() {
  const int64_t now = shop_->clock().TickMs();
  if (last_keep_alive_tick_ && !KeepAliveDue(now, *last_keep_alive_tick_)) return;
  last_keep_alive_tick_ = now;
  keep_alive_worker_->TryPost([request = keep_alive_request] { request(); });
}

}  // namespace fahuo
