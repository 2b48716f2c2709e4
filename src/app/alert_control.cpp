#include "app/alert_control.h"

#include <QDialog>
#include <QTimer>

#include "app/alert_settings_dialog.h"
#include "app/core/activity_log.h"
#include "app/core/run_logic.h"
#include "app/core/settings.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

constexpr int kTickMs = 60 * 1000;

}  // namespace

AlertControl::AlertControl(QWidget* window, const Clock& clock, const mail::Options& mail,
                           const AppServices& services, Hooks hooks, QObject* parent)
    : QObject(parent),
      window_(window),
      clock_(clock),
      services_(services),
      hooks_(std::move(hooks)),
      courier_(std::make_shared<AlertCourier>(
          AlertCourier::Options{.mail = mail},
          [&log = services.log](const std::string& line) { log.Append(line); })),
      monitor_(std::make_shared<AlertMonitor>(courier_, clock_)),
      timer_(new QTimer(this)) {
  connect(timer_, &QTimer::timeout, this, &AlertControl::OnTick);
}

AlertControl::~AlertControl() { Shutdown(); }

void AlertControl::Shutdown() {
  timer_->stop();
  courier_->Stop();
}

AlertControl::Saved AlertControl::ReadSaved() const {
  const std::string path = SettingsPath(services_.data_folder);
  return {ReadSettingIfPresent(path, kAlertMail), GbkToUtf8(ReadSetting(path, kAlertWebhook)),
          GbkToUtf8(ReadSetting(path, kAlertWebhookFormat))};
}

AlertChannels AlertControl::Over(const Saved& saved) const {
  AlertChannels c;
  c.account = hooks_.account ? hooks_.account() : MailAccount{};
  // Without a 邮箱 key the alerts go to the sending account itself; an empty one sends none.
  c.mail_to = saved.mail_to.value_or(c.account.user);
  c.webhook = saved.webhook;
  c.format = saved.format;
  c.backup = backup_;
  return c;
}

AlertChannels AlertControl::Channels() const { return Over(saved_); }

void AlertControl::Load() {
  const std::string path = SettingsPath(services_.data_folder);
  saved_ = ReadSaved();
  MailAccount backup{ReadSetting(path, kBackupServer), ReadSetting(path, kBackupAccount), {}};
  backup_.reset();
  if (!backup.server.empty() && !backup.user.empty()) {
    backup.password = passwords_->Read(path, kBackupPassword);
    backup_ = std::move(backup);
  }
  monitor_->SetSummaryMinute(ParseSummaryTime(ReadSetting(path, kAlertSummary)));
  courier_->SetChannels(Channels());
  if (!timer_->isActive()) timer_->start(kTickMs);
}

void AlertControl::OnTick() {
  // The account may have changed with a start of monitoring or in the panel's fields.
  courier_->SetChannels(Channels());
  monitor_->Tick(hooks_.watching && hooks_.watching(),
                 hooks_.last_records_read ? hooks_.last_records_read() : 0, hooks_.quiet_bills,
                 hooks_.counts);
}

void AlertControl::BillsUnknown(const std::vector<std::string>& serials) {
  monitor_->BillsUnknown(serials);
}

void AlertControl::HeldPaymentsWaiting(size_t count) { monitor_->HeldPaymentsWaiting(count); }

void AlertControl::OpenSettings() {
  const std::string path = SettingsPath(services_.data_folder);
  AlertSettingsDialog dialog(
      {
          .settings_path = path,
          .now = Over(ReadSaved()),  // the file as it is now, hand edits too
          .backup_password = backup_ ? backup_->password : passwords_->Read(path, kBackupPassword),
          .passwords = *passwords_,
          .dialogs = services_.dialogs,
          .test =
              [courier = courier_](const AlertChannels& channels,
                                   std::function<void(const std::string&, bool)> done) {
                courier->Test(channels, std::move(done));
              },
          .test_inbox =
              [hook = hooks_.test_inbox](const MailAccount& account, const std::string& server,
                                         std::function<void(const std::string&, bool)> done) {
                if (hook) hook(account, server, std::move(done));
              },
      },
      window_);
  if (dialog.exec() == QDialog::Accepted) Load();
}

}  // namespace fahuo
