// The 提醒设置 window, driven for real: 发送测试提醒 against tools/webhook_sink.py on loopback,
// and 保存 into Peizhi.ini's [提醒] and [发信] (a bad summary time refused).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/alert_control.h"
#include "app/app_services.h"
#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "scripted_dialogs.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::ChildProcess;
using testing::StartPythonService;
using testing::TempDir;

template <typename T>
T* In(QWidget* w, const char* name) {
  T* found = w->findChild<T*>(QString::fromUtf8(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

TEST(AlertSettingsTest, TestAlertThenSaveIntoTheirSection) {
  ChildProcess hook;
  const int port = StartPythonService(hook, "webhook_sink.py", {});
  ASSERT_GT(port, 0);
  TempDir dir;
  ScriptedDialogs dialogs;
  ActivityLog log;
  const AppServices services{.dialogs = dialogs, .log = log, .data_folder = DataFolder(dir.path())};
  const std::string path = SettingsPath(services.data_folder);
  ASSERT_TRUE(WriteSetting(path, kSettingInterval, "3000"));
  SystemClock clock;
  QWidget window;
  AlertControl alerts(&window, clock, mail::Options{}, services, {.account = [] {
    return MailAccount{"127.0.0.1:1", "shop@example.com", ""};
  }});
  const QString url = QStringLiteral("http://127.0.0.1:%1/hook").arg(port);
  bool checked = false;
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    // The sending account is proposed while [提醒] has no 邮箱.
    EXPECT_EQ(In<QLineEdit>(d, "编辑框_提醒邮箱")->text(), QStringLiteral("shop@example.com"));
    In<QLineEdit>(d, "编辑框_提醒邮箱")->clear();
    In<QLineEdit>(d, "编辑框_推送网址")->setText(url);
    QTest::mouseClick(In<QPushButton>(d, "按钮_发送测试提醒"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs.Texts().empty(); }, 15000));
    ASSERT_EQ(dialogs.Texts().size(), 1u);
    EXPECT_EQ(dialogs.Texts()[0], QStringLiteral("推送：已发送（自定义）"));
    EXPECT_NE(hook.WaitForLine("REQUEST ", 5000).find("发货提醒：测试"), std::string::npos);

    // The spare account as typed is logged into; one that cannot be reached is told.
    In<QLineEdit>(d, "编辑框_备用服务器")->setText(QStringLiteral("127.0.0.1:1"));
    In<QLineEdit>(d, "编辑框_备用邮箱")->setText(QStringLiteral("备用@163.com"));
    QTest::mouseClick(In<QPushButton>(d, "按钮_发送测试提醒"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs.Texts().size() == 2; }, 15000));
    ASSERT_EQ(dialogs.Texts().size(), 2u);
    EXPECT_TRUE(
        dialogs.Texts()[1].contains(QStringLiteral("备用发信邮箱：连接邮箱失败：无法连接服务器")))
        << dialogs.Texts()[1].toStdString();

    In<QLineEdit>(d, "编辑框_每日汇总")->setText(QStringLiteral("25:00"));
    QTest::mouseClick(In<QPushButton>(d, "按钮_保存提醒设置"), Qt::LeftButton);
    ASSERT_EQ(dialogs.Texts().size(), 3u);
    EXPECT_TRUE(dialogs.Texts()[2].contains(QStringLiteral("21:30")));
    EXPECT_TRUE(d->isVisible());
    In<QLineEdit>(d, "编辑框_每日汇总")->setText(QStringLiteral("21:30"));
    In<QLineEdit>(d, "编辑框_发信速度")->setText(QStringLiteral("8"));
    In<QLineEdit>(d, "编辑框_备用服务器")->setText(QStringLiteral("smtp.163.com"));
    In<QLineEdit>(d, "编辑框_备用密码")->setText(QStringLiteral(" 授权码 "));
    QTest::mouseClick(In<QPushButton>(d, "按钮_保存提醒设置"), Qt::LeftButton);
    checked = true;
    if (d->isVisible()) d->reject();  // a failed save must not leave the test hanging
  });
  alerts.OpenSettings();
  EXPECT_TRUE(checked);
  EXPECT_EQ(ReadSettingIfPresent(path, kAlertMail), std::optional<std::string>(""));
  EXPECT_EQ(ReadSetting(path, kAlertWebhook), url.toStdString());
  EXPECT_EQ(ReadSetting(path, kAlertSummary), "21:30");
  EXPECT_EQ(ReadSetting(path, kSettingInterval), "3000");
  EXPECT_EQ(ReadSetting(path, kSendPace), "8");
  // The second account reads back as typed, its password's blanks kept.
  const std::optional<MailAccount> backup = alerts.BackupAccount();
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->server, "smtp.163.com");
  EXPECT_EQ(GbkToUtf8(backup->user), "备用@163.com");
  EXPECT_EQ(GbkToUtf8(backup->password), " 授权码 ");
  EXPECT_EQ(alerts.Channels().backup->user, backup->user);
  // An empty 邮箱 means no alert mail, whatever the account.
  EXPECT_EQ(alerts.Channels().mail_to, "");
  EXPECT_EQ(alerts.Channels().webhook, url.toStdString());
}

}  // namespace
}  // namespace fahuo
