#include "app/alert_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "alerts/alert_monitor.h"
#include "app/core/password_store.h"
#include "app/core/run_logic.h"
#include "app/core/settings.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

// The formats offered besides finding it from the URL (alerts/push_webhook.h).
const char* const kFormats[] = {"企业微信", "钉钉", "飞书",  "Server酱",
                                "PushPlus", "Bark", "自定义"};

// A pace as typed: empty (the provider's preset), or what ParsePace reads.
bool PaceText(const QString& text) { return text.isEmpty() || ParsePace(text.toStdString()); }

// Bounce check minutes as typed: empty (the default), or a whole number from 1.
bool IntervalText(const QString& text) {
  bool ok = false;
  const int minutes = text.toInt(&ok);
  return text.isEmpty() || (ok && minutes >= 1 && minutes <= 24 * 60);
}

QLineEdit* Edit(QWidget* parent, const char* name, const QString& text) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromUtf8(name));
  return edit;
}

}  // namespace

AlertSettingsDialog::AlertSettingsDialog(Parts parts, QWidget* parent)
    : QDialog(parent), parts_(std::move(parts)) {
  const std::string& path = parts_.settings_path;
  setObjectName(QStringLiteral("提醒设置"));
  setWindowTitle(QStringLiteral("提醒设置"));
  mail_ = Edit(this, "编辑框_提醒邮箱", FromGbk(parts_.now.mail_to));
  mail_->setPlaceholderText(QStringLiteral("留空则不发提醒邮件"));
  hook_ = Edit(this, "编辑框_推送网址", QString::fromStdString(parts_.now.webhook));
  hook_->setPlaceholderText(
      QStringLiteral("企业微信/钉钉/飞书机器人、Server酱、PushPlus、Bark 的网址"));
  format_ = new QComboBox(this);
  format_->setObjectName(QStringLiteral("组合框_推送格式"));
  format_->addItem(QStringLiteral("按网址自动识别"), QString());
  for (const char* f : kFormats) format_->addItem(QString::fromUtf8(f), QString::fromUtf8(f));
  format_->setCurrentIndex(
      std::max(0, format_->findData(QString::fromStdString(parts_.now.format))));
  summary_ = Edit(this, "编辑框_每日汇总", FromGbk(ReadSetting(path, kAlertSummary)));
  summary_->setPlaceholderText(QStringLiteral("如 21:30，留空则不发"));
  pace_ = Edit(this, "编辑框_发信速度", FromGbk(ReadSetting(path, kSendPace)));
  pace_->setPlaceholderText(QStringLiteral("留空：QQ 邮箱 10，163/126 邮箱 6；0：不限"));
  pace_->setToolTip(QStringLiteral("每分钟最多发出的邮件数，下次按“开始”时生效"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("提醒邮箱"), mail_);
  form->addRow(QStringLiteral("推送网址"), hook_);
  form->addRow(QStringLiteral("推送格式"), format_);
  form->addRow(QStringLiteral("每日汇总时间"), summary_);
  form->addRow(QStringLiteral("发信速度（封/分钟）"), pace_);
  auto* note = new QLabel(
      QStringLiteral("自定义网址可含 {title} 和 {text}，发送时换成提醒的标题和内容。"), this);
  note->setWordWrap(true);
  test_ = new QPushButton(QStringLiteral("发送测试提醒"), this);
  test_->setObjectName(QStringLiteral("按钮_发送测试提醒"));
  auto* save = new QPushButton(QStringLiteral("保存"), this);
  save->setObjectName(QStringLiteral("按钮_保存提醒设置"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(test_);
  buttons->addStretch();
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(BuildBackup());
  layout->addWidget(BuildBounces());
  layout->addLayout(buttons);
  resize(480, sizeHint().height());
  connect(test_, &QPushButton::clicked, this, [this] { SendTest(); });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
}

QGroupBox* AlertSettingsDialog::BuildBackup() {
  // The second account: its fields as saved, whole or not.
  const std::string& path = parts_.settings_path;
  backup_server_ = Edit(this, "编辑框_备用服务器", FromGbk(ReadSetting(path, kBackupServer)));
  backup_server_->setPlaceholderText(QStringLiteral("如 smtp.163.com，留空则不用备用邮箱"));
  backup_user_ = Edit(this, "编辑框_备用邮箱", FromGbk(ReadSetting(path, kBackupAccount)));
  backup_password_ = Edit(this, "编辑框_备用密码", FromGbk(parts_.backup_password));
  backup_password_->setEchoMode(QLineEdit::Password);
  backup_pace_ = Edit(this, "编辑框_备用发信速度", FromGbk(ReadSetting(path, kBackupPace)));
  backup_pace_->setPlaceholderText(pace_->placeholderText());
  auto* backup = new QGroupBox(QStringLiteral("备用发信邮箱（主邮箱被拒、超限或连不上时改用）"));
  backup->setToolTip(QStringLiteral("下次按“开始”时生效"));
  auto* form = new QFormLayout(backup);
  form->addRow(QStringLiteral("发信服务器"), backup_server_);
  form->addRow(QStringLiteral("发信邮箱"), backup_user_);
  form->addRow(QStringLiteral("邮箱密码"), backup_password_);
  form->addRow(QStringLiteral("发信速度（封/分钟）"), backup_pace_);
  return backup;
}

QGroupBox* AlertSettingsDialog::BuildBounces() {
  const std::string& path = parts_.settings_path;
  bounce_on_ = new QCheckBox(QStringLiteral("检查发信邮箱收到的退信"), this);
  bounce_on_->setObjectName(QStringLiteral("选择框_退信开启"));
  bounce_on_->setChecked(ReadSetting(path, kBounceEnabled) != "0");
  bounce_server_ = Edit(this, "编辑框_收件服务器", FromGbk(ReadSetting(path, kBounceServer)));
  bounce_server_->setPlaceholderText(QStringLiteral("留空：按发信服务器（如 imap.qq.com:993）"));
  bounce_interval_ = Edit(this, "编辑框_退信检查间隔", FromGbk(ReadSetting(path, kBounceInterval)));
  test_inbox_ = new QPushButton(QStringLiteral("测试收件"), this);
  test_inbox_->setObjectName(QStringLiteral("按钮_测试收件"));
  auto* group = new QGroupBox(QStringLiteral("退信"), this);
  group->setToolTip(QStringLiteral("用发信邮箱的授权码登录其收件箱，只读不改；下次按“开始”时生效"));
  auto* form = new QFormLayout(group);
  form->addRow(bounce_on_);
  form->addRow(QStringLiteral("收件服务器"), bounce_server_);
  form->addRow(QStringLiteral("检查间隔（分钟）"), bounce_interval_);
  form->addRow(test_inbox_);
  connect(test_inbox_, &QPushButton::clicked, this, [this] { TestInbox(); });
  return group;
}

void AlertSettingsDialog::TestInbox() {
  if (!parts_.test_inbox) return;
  test_inbox_->setEnabled(false);
  QPointer<QPushButton> button = test_inbox_;
  QPointer<QWidget> over = this;
  QPointer<QWidget> window = parentWidget();
  Dialogs* dialogs = &parts_.dialogs;
  parts_.test_inbox(
      parts_.now.account, ToGbk(bounce_server_->text().trimmed()),
      [button, over, window, dialogs](const std::string& report, bool ok) {
        const QString text = FromGbk(report);
        QObject* context =
            window ? static_cast<QObject*>(window.data()) : QCoreApplication::instance();
        PostToUi(context, [button, over, window, dialogs, text, ok] {
          if (button) button->setEnabled(true);
          dialogs->ShowMessage(over ? over.data() : window.data(), text,
                               ok ? QStringLiteral("测试成功") : QStringLiteral("测试失败"),
                               ok ? Dialogs::Icon::kInformation : Dialogs::Icon::kWarning);
        });
      });
}

AlertChannels AlertSettingsDialog::Typed() const {
  AlertChannels c = parts_.now;
  c.mail_to = ToGbk(mail_->text().trimmed());
  c.webhook = hook_->text().trimmed().toStdString();
  c.format = format_->currentData().toString().toStdString();
  // The spare account as typed, not as saved: the test is for what is about to be saved.
  c.backup.reset();
  if (!backup_server_->text().trimmed().isEmpty() && !backup_user_->text().trimmed().isEmpty()) {
    c.backup = MailAccount{ToGbk(backup_server_->text().trimmed()),
                           ToGbk(backup_user_->text().trimmed()), ToGbk(backup_password_->text())};
  }
  return c;
}

void AlertSettingsDialog::SendTest() {
  test_->setEnabled(false);
  // The answer may come after the window closed: then its box opens over the main window.
  QPointer<QPushButton> button = test_;
  QPointer<QWidget> over = this;
  QPointer<QWidget> window = parentWidget();
  Dialogs* dialogs = &parts_.dialogs;
  parts_.test(Typed(), [button, over, window, dialogs](const std::string& report, bool ok) {
    const QString text = FromGbk(report);
    QObject* context = window ? static_cast<QObject*>(window.data()) : QCoreApplication::instance();
    PostToUi(context, [button, over, window, dialogs, text, ok] {
      if (button) button->setEnabled(true);
      dialogs->ShowMessage(over ? over.data() : window.data(), text,
                           ok ? QStringLiteral("测试成功") : QStringLiteral("测试失败"),
                           ok ? Dialogs::Icon::kInformation : Dialogs::Icon::kWarning);
    });
  });
}

bool AlertSettingsDialog::Fails(bool ok, const QString& message) {
  if (!ok) {
    parts_.dialogs.ShowMessage(this, message, QStringLiteral("错误"), Dialogs::Icon::kWarning);
  }
  return !ok;
}

void AlertSettingsDialog::Save() {
  const QString time = summary_->text().trimmed();
  const QString per_minute = pace_->text().trimmed();
  const QString backup_per_minute = backup_pace_->text().trimmed();
  if (Fails(time.isEmpty() || ParseSummaryTime(time.toStdString()),
            QStringLiteral("每日汇总时间请写成 时:分，例如 21:30")) ||
      Fails(PaceText(per_minute) && PaceText(backup_per_minute),
            QStringLiteral("发信速度请填 0 到 1000 的整数，或留空")) ||
      Fails(IntervalText(bounce_interval_->text().trimmed()),
            QStringLiteral("退信检查间隔请填 1 以上的分钟数，或留空"))) {
    return;
  }
  const std::string& path = parts_.settings_path;
  const AlertChannels c = Typed();
  const bool written =
      WriteSetting(path, kAlertMail, c.mail_to) &&
      WriteSetting(path, kAlertWebhook, Utf8ToGbk(c.webhook)) &&
      WriteSetting(path, kAlertWebhookFormat, Utf8ToGbk(c.format)) &&
      WriteSetting(path, kAlertSummary, ToGbk(time)) &&
      WriteSetting(path, kSendPace, per_minute.toStdString()) &&
      WriteSetting(path, kBackupServer, ToGbk(backup_server_->text().trimmed())) &&
      WriteSetting(path, kBackupAccount, ToGbk(backup_user_->text().trimmed())) &&
      WriteSetting(path, kBackupPace, backup_per_minute.toStdString()) &&
      WriteSetting(path, kBounceEnabled, bounce_on_->isChecked() ? "1" : "0") &&
      WriteSetting(path, kBounceServer, ToGbk(bounce_server_->text().trimmed())) &&
      WriteSetting(path, kBounceInterval, bounce_interval_->text().trimmed().toStdString()) &&
      parts_.passwords.Write(path, ToGbk(backup_password_->text()), kBackupPassword).ok;
  if (Fails(written, QStringLiteral("提醒设置无法保存到 Peizhi.ini"))) return;
  accept();
}

}  // namespace fahuo
