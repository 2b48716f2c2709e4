// The whole road of a payment through a real main window and its real embedded browser,
// against the fake records service and a real SMTP server on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <functional>

#include "app/app_services.h"
#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "app/main_window.h"
#include "capture/bill_list.h"
#include "capture/records_address.h"
#include "controls.h"
#include "delivery/shop.h"
#include "platform/gbk.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"
#include "rules/qt/rules_window.h"
#include "scripted_dialogs.h"
#include "test_support.h"
#include "ui/dialogs.h"

namespace fahuo {
namespace {

using testing::ChildProcess;
using testing::Control;
using testing::TempDir;

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    if (done()) return true;
    QTest::qWait(50);
  }
  return done();
}

// Lines of the SMTP server's log.jsonl: one per received mail.
std::vector<std::string> MailLog(const std::string& maildir) {
  std::vector<std::string> lines;
  std::string all = testing::ReadFileBytes(maildir + "/log.jsonl");
  size_t start = 0, nl;
  while ((nl = all.find('\n', start)) != std::string::npos) {
    lines.push_back(all.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

std::string Pay(int port, const std::string& query) {
  return HttpClient().Get("http://127.0.0.1:" + std::to_string(port) + "/_control/pay?" + query);
}

// Fills and saves the rules window once it is open (it runs modally).
void SaveRuleWhenOpen(const char* min, const char* max, const char* subject, const char* body) {
  QTimer::singleShot(200, [=] {
    auto* window = qobject_cast<RulesWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    window->findChild<QLineEdit*>(QStringLiteral("编辑框_最小金额"))->setText(min);
    window->findChild<QLineEdit*>(QStringLiteral("编辑框_最大金额"))->setText(max);
    window->findChild<QLineEdit*>(QStringLiteral("编辑框_标题"))
        ->setText(QString::fromUtf8(subject));
    window->findChild<QPlainTextEdit*>(QStringLiteral("编辑框_内容"))
        ->setPlainText(QString::fromUtf8(body));
    window->findChild<QPushButton*>(QStringLiteral("按钮_添加"))->click();
    window->findChild<QPushButton*>(QStringLiteral("按钮_保存"))->click();
  });
}

TEST(PaymentRoad, SignInBaselineRuleMonitoringAndOneMailPerPayment) {
  TempDir dir;
  ASSERT_TRUE(RecordTable::CreateEmpty(dir.File("zhifubaoZD.edb"), BillTableFields()));
  ChildProcess records, smtp;
  const int records_port = testing::StartPythonService(
      records, "fake_records.py", {"--port", "0", "--pages", "3", "--per-page", "5"});
  ASSERT_GT(records_port, 0);
  const std::string maildir = dir.File("mail");
  int smtp_port =
      testing::StartPythonService(smtp, "smtp_sink.py", {"--port", "0", "--maildir", maildir});
  ASSERT_GT(smtp_port, 0);
  ScriptedDialogs dialogs;
  ActivityLog log;

  Shop shop(nullptr, {.records_base = "http://127.0.0.1:" + std::to_string(records_port)});
  // The SMTP sink has no inbox: the bounce reader's one line would break the log compared
  // below (its road is tests/delivery/bounce_road_test.cpp).
  ASSERT_TRUE(WriteSetting(SettingsPath(DataFolder(dir.path())), kBounceEnabled, "0"));
  MainWindow w(shop, {.dialogs = dialogs, .log = log, .data_folder = DataFolder(dir.path())});
  auto* 编辑框_邮箱服务器地址 = Control<QLineEdit>(w, "编辑框_邮箱服务器地址");
  auto* 编辑框_邮箱用户名 = Control<QLineEdit>(w, "编辑框_邮箱用户名");
  auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
  auto* 超文本浏览框1 = Control<QWebEngineView>(w, "超文本浏览框1");
  auto* 时钟_防止掉线 = Control<QTimer>(w, "时钟_防止掉线");
  auto* 超级列表框1 = Control<QTableView>(w, "超级列表框1");
  auto* 按钮_设置 = Control<QPushButton>(w, "按钮_设置");
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  auto* 按钮1 = Control<QPushButton>(w, "按钮1");
  auto* 单选框_新增账单 = Control<QRadioButton>(w, "单选框_新增账单");
  w.show();
  ASSERT_TRUE(w.StartUp());
  编辑框_邮箱服务器地址->setText(QStringLiteral("127.0.0.1:%1").arg(smtp_port));
  编辑框_邮箱用户名->setText(QStringLiteral("seller@shop.example"));
  编辑框_邮箱密码->setText(QStringLiteral("secret"));

  // The seller signs in inside fahuo's own browser.
  ASSERT_TRUE(WaitFor(
      [&] {
        return 超文本浏览框1->url().path() == "/record/standard.htm" &&
               !超文本浏览框1->title().isEmpty();
      },
      60000));
  超文本浏览框1->setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/login?auto=1").arg(records_port)));
  ASSERT_TRUE(WaitFor([&] { return 时钟_防止掉线->isActive(); }, 60000));
  EXPECT_FALSE(超文本浏览框1->isVisible());
  EXPECT_TRUE(超级列表框1->isVisible());
  ASSERT_EQ(shop.AllBills().Count(), 15u);  // three pages of five
  EXPECT_EQ(超级列表框1->model()->rowCount(), 15);

  SaveRuleWhenOpen("60", "100", "教程已发货", "下载地址：http://example.com/t98\n提取码 1234");
  按钮_设置->click();  // returns when the rules window closed
  ASSERT_EQ(按钮_设置->isEnabled(), true);

  编辑框_间隔时间->setText(QStringLiteral("1000"));
  按钮1->click();
  ASSERT_EQ(按钮1->text(), QStringLiteral("停止"));

  ASSERT_FALSE(
      Pay(records_port, "name=12345678&note=QQ&amount=98.00&counterparty=%E4%B9%B0%E5%AE%B6")
          .empty());
  ASSERT_TRUE(WaitFor([&] { return MailLog(maildir).size() >= 1; }, 30000));
  QTest::qWait(3000);  // a few more ticks: nothing else goes out
  auto mails = MailLog(maildir);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].find("\"12345678@qq.com\""), std::string::npos) << mails[0];
  EXPECT_NE(mails[0].find("教程已发货"), std::string::npos) << mails[0];
  EXPECT_NE(mails[0].find("seller@shop.example"), std::string::npos) << mails[0];

  const std::string expected_log = Utf8ToGbk(
      "发现新账单\r\n"
      "对方是：买家\r\n"
      "对方金额是：98 正在为您匹配发件规则\r\n"
      "对方留言的不是邮箱信息，自动添加 @qq.com\r\n"
      "发送的邮箱地址是：12345678@qq.com\r\n"
      "发送邮件成功\r\n");
  EXPECT_EQ(GbkToUtf8(log.Text()), GbkToUtf8(expected_log));
  ASSERT_EQ(shop.NewBills().Count(), 1u);
  EXPECT_EQ(shop.NewBills().At(1).名称, "12345678");
  单选框_新增账单->click();
  EXPECT_EQ(超级列表框1->model()->rowCount(), 1);

  // Stopping monitoring stops the passes.
  按钮1->click();
  ASSERT_EQ(按钮1->text(), QStringLiteral("开始"));
  QTest::qWait(1500);  // a pass already under way may finish
  Pay(records_port, "name=buyer%40mail.example&note=x&amount=70&counterparty=B");
  QTest::qWait(3000);
  EXPECT_EQ(MailLog(maildir).size(), 1u);

  // The mail server is down: the waiting bill (and the one paid while stopped) go out once
  // the server is back and their retry is due (a minute later), each exactly once.
  smtp.Stop();
  Pay(records_port, "name=87654321&note=y&amount=99.5&counterparty=C");
  按钮1->click();
  ASSERT_TRUE(WaitFor(
      [&] {
        for (const auto& s : dialogs.Seen()) {
          if (s.text.startsWith(QStringLiteral("连接邮箱失败\n"))) return true;
        }
        return false;
      },
      60000));
  按钮1->click();
  QTest::qWait(1500);
  const std::string maildir2 = dir.File("mail2");
  ChildProcess smtp2;
  smtp_port =
      testing::StartPythonService(smtp2, "smtp_sink.py", {"--port", "0", "--maildir", maildir2});
  ASSERT_GT(smtp_port, 0);
  编辑框_邮箱服务器地址->setText(QStringLiteral("127.0.0.1:%1").arg(smtp_port));
  按钮1->click();
  ASSERT_TRUE(WaitFor([&] { return MailLog(maildir2).size() >= 2; }, 100000));
  QTest::qWait(3000);
  按钮1->click();
  mails = MailLog(maildir2);
  ASSERT_EQ(mails.size(), 2u);
  std::string both = mails[0] + mails[1];
  EXPECT_NE(both.find("buyer@mail.example"), std::string::npos);
  EXPECT_NE(both.find("87654321@qq.com"), std::string::npos);
}

}  // namespace
}  // namespace fahuo
