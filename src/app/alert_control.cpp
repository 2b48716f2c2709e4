#include "app/alert_control.h"

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/activity_log.h"
#include "app/core/run_logic.h"
#include "app/core/settings.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

constexpr int kTickMs = 60 * 1000;

// The formats offered besides finding it from the URL (delivery/push_webhook.h).
const char* const kFormats[] = {"企业微信", "钉钉", "飞书",  "Server酱",
                                "PushPlus", "Bark", "自定义"};

// A pace as typed: empty (the provider's preset), or what ParsePace reads.
bool PaceText(const QString& text) { return text.isEmpty() || ParsePace(text.toStdString()); }

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
      timer_(new QTimer(this)) {
  connect(timer_, &QTimer::timeout, this, &AlertControl::OnTick);
}

AlertControl::~AlertControl() { Shutdown(); }

void AlertControl::Shutdown() {
  timer_->stop();
  courier_->Stop();
}

std::shared_ptr<DeliveryWindow> AlertControl::Watch(std::shared_ptr<DeliveryWindow> inner) {
  monitor_ = std::make_shared<AlertMonitor>(std::move(inner), courier_, clock_);
  return monitor_;
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
  if (monitor_) {
    monitor_->SetSummaryMinute(ParseSummaryTime(ReadSetting(path, kAlertSummary)));
  }
  courier_->SetChannels(Channels());
  if (!timer_->isActive()) timer_->start(kTickMs);
}

void AlertControl::OnTick() {
  // The account may have changed with a start of monitoring or in the panel's fields.
  courier_->SetChannels(Channels());
  if (!monitor_) return;
  monitor_->Tick(hooks_.watching && hooks_.watching(),
                 hooks_.last_records_read ? hooks_.last_records_read() : 0, hooks_.counts);
}

void AlertControl::BillsUnknown(const std::vector<std::string>& serials) {
  if (monitor_) monitor_->BillsUnknown(serials);
}

void AlertControl::HeldPaymentsWaiting(size_t count) {
  if (monitor_) monitor_->HeldPaymentsWaiting(count);
}

void AlertControl::OpenSettings() {
  const std::string path = SettingsPath(services_.data_folder);
  const AlertChannels now = Over(ReadSaved());  // the file as it is now, hand edits too
  QDialog dialog(window_);
  dialog.setObjectName(QStringLiteral("提醒设置"));
  dialog.setWindowTitle(QStringLiteral("提醒设置"));
  auto* mail = new QLineEdit(FromGbk(now.mail_to), &dialog);
  mail->setObjectName(QStringLiteral("编辑框_提醒邮箱"));
  mail->setPlaceholderText(QStringLiteral("留空则不发提醒邮件"));
  auto* hook = new QLineEdit(QString::fromStdString(now.webhook), &dialog);
  hook->setObjectName(QStringLiteral("编辑框_推送网址"));
  hook->setPlaceholderText(
      QStringLiteral("企业微信/钉钉/飞书机器人、Server酱、PushPlus、Bark 的网址"));
  auto* format = new QComboBox(&dialog);
  format->setObjectName(QStringLiteral("组合框_推送格式"));
  format->addItem(QStringLiteral("按网址自动识别"), QString());
  for (const char* f : kFormats) format->addItem(QString::fromUtf8(f), QString::fromUtf8(f));
  format->setCurrentIndex(std::max(0, format->findData(QString::fromStdString(now.format))));
  auto* summary = new QLineEdit(FromGbk(ReadSetting(path, kAlertSummary)), &dialog);
  summary->setObjectName(QStringLiteral("编辑框_每日汇总"));
  summary->setPlaceholderText(QStringLiteral("如 21:30，留空则不发"));
  auto* pace = new QLineEdit(FromGbk(ReadSetting(path, kSendPace)), &dialog);
  pace->setObjectName(QStringLiteral("编辑框_发信速度"));
  pace->setPlaceholderText(QStringLiteral("留空：QQ 邮箱 10，163/126 邮箱 6；0：不限"));
  pace->setToolTip(QStringLiteral("每分钟最多发出的邮件数，下次按“开始”时生效"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("提醒邮箱"), mail);
  form->addRow(QStringLiteral("推送网址"), hook);
  form->addRow(QStringLiteral("推送格式"), format);
  form->addRow(QStringLiteral("每日汇总时间"), summary);
  form->addRow(QStringLiteral("发信速度（封/分钟）"), pace);
  // The second account: its fields as saved, whole or not.
  auto* backup_server = new QLineEdit(FromGbk(ReadSetting(path, kBackupServer)), &dialog);
  backup_server->setObjectName(QStringLiteral("编辑框_备用服务器"));
  backup_server->setPlaceholderText(QStringLiteral("如 smtp.163.com，留空则不用备用邮箱"));
  auto* backup_user = new QLineEdit(FromGbk(ReadSetting(path, kBackupAccount)), &dialog);
  backup_user->setObjectName(QStringLiteral("编辑框_备用邮箱"));
  auto* backup_password = new QLineEdit(
      FromGbk(backup_ ? backup_->password : passwords_->Read(path, kBackupPassword)), &dialog);
  backup_password->setObjectName(QStringLiteral("编辑框_备用密码"));
  backup_password->setEchoMode(QLineEdit::Password);
  auto* backup_pace = new QLineEdit(FromGbk(ReadSetting(path, kBackupPace)), &dialog);
  backup_pace->setObjectName(QStringLiteral("编辑框_备用发信速度"));
  backup_pace->setPlaceholderText(pace->placeholderText());
  auto* backup = new QGroupBox(QStringLiteral("备用发信邮箱（主邮箱被拒、超限或连不上时改用）"));
  backup->setToolTip(QStringLiteral("下次按“开始”时生效"));
  auto* backup_form = new QFormLayout(backup);
  backup_form->addRow(QStringLiteral("发信服务器"), backup_server);
  backup_form->addRow(QStringLiteral("发信邮箱"), backup_user);
  backup_form->addRow(QStringLiteral("邮箱密码"), backup_password);
  backup_form->addRow(QStringLiteral("发信速度（封/分钟）"), backup_pace);
  auto* note = new QLabel(
      QStringLiteral("自定义网址可含 {title} 和 {text}，发送时换成提醒的标题和内容。"), &dialog);
  note->setWordWrap(true);
  auto* test = new QPushButton(QStringLiteral("发送测试提醒"), &dialog);
  test->setObjectName(QStringLiteral("按钮_发送测试提醒"));
  auto* save = new QPushButton(QStringLiteral("保存"), &dialog);
  save->setObjectName(QStringLiteral("按钮_保存提醒设置"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(test);
  buttons->addStretch();
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(backup);
  layout->addLayout(buttons);
  dialog.resize(480, dialog.sizeHint().height());

  auto typed = [&] {
    AlertChannels c = now;
    c.mail_to = ToGbk(mail->text().trimmed());
    c.webhook = hook->text().trimmed().toStdString();
    c.format = format->currentData().toString().toStdString();
    // The spare account as typed, not as saved: the test is for what is about to be saved.
    c.backup.reset();
    if (!backup_server->text().trimmed().isEmpty() && !backup_user->text().trimmed().isEmpty()) {
      c.backup = MailAccount{ToGbk(backup_server->text().trimmed()),
                             ToGbk(backup_user->text().trimmed()), ToGbk(backup_password->text())};
    }
    return c;
  };
  connect(test, &QPushButton::clicked, &dialog, [&, this] {
    test->setEnabled(false);
    QPointer<QPushButton> button = test;
    QPointer<QWidget> over = &dialog;
    courier_->Test(typed(), [this, button, over](const std::string& report, bool ok) {
      const QString text = FromGbk(report);
      PostToUi(this, [this, button, over, text, ok] {
        if (button) button->setEnabled(true);
        services_.dialogs.ShowMessage(over ? over.data() : window_, text,
                                      ok ? QStringLiteral("测试成功") : QStringLiteral("测试失败"),
                                      ok ? Dialogs::Icon::kInformation : Dialogs::Icon::kWarning);
      });
    });
  });
  connect(save, &QPushButton::clicked, &dialog, [&, this] {
    const QString time = summary->text().trimmed();
    if (!time.isEmpty() && !ParseSummaryTime(time.toStdString())) {
      services_.dialogs.ShowMessage(&dialog, QStringLiteral("每日汇总时间请写成 时:分，例如 21:30"),
                                    QStringLiteral("错误"), Dialogs::Icon::kWarning);
      return;
    }
    const QString per_minute = pace->text().trimmed();
    const QString backup_per_minute = backup_pace->text().trimmed();
    if (!PaceText(per_minute) || !PaceText(backup_per_minute)) {
      services_.dialogs.ShowMessage(&dialog,
                                    QStringLiteral("发信速度请填 0 到 1000 的整数，或留空"),
                                    QStringLiteral("错误"), Dialogs::Icon::kWarning);
      return;
    }
    const AlertChannels c = typed();
    const bool written =
        WriteSetting(path, kAlertMail, c.mail_to) &&
        WriteSetting(path, kAlertWebhook, Utf8ToGbk(c.webhook)) &&
        WriteSetting(path, kAlertWebhookFormat, Utf8ToGbk(c.format)) &&
        WriteSetting(path, kAlertSummary, ToGbk(time)) &&
        WriteSetting(path, kSendPace, per_minute.toStdString()) &&
        WriteSetting(path, kBackupServer, ToGbk(backup_server->text().trimmed())) &&
        WriteSetting(path, kBackupAccount, ToGbk(backup_user->text().trimmed())) &&
        WriteSetting(path, kBackupPace, backup_per_minute.toStdString()) &&
        passwords_->Write(path, ToGbk(backup_password->text()), kBackupPassword).ok;
    if (!written) {
      services_.dialogs.ShowMessage(&dialog, QStringLiteral("提醒设置无法保存到 Peizhi.ini"),
                                    QStringLiteral("错误"), Dialogs::Icon::kWarning);
      return;
    }
    Load();
    dialog.accept();
  });
  dialog.exec();
}

}  // namespace fahuo
