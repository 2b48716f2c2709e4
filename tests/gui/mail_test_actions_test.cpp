// The three mail buttons, clicked for real, against tools/smtp_sink.py on loopback.
#include "app/mail_test_actions.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <optional>
#include <sstream>

#include "app/support/dialogs.h"
#include "platform/mail_client.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::ChildProcess;
using testing::ReadFileBytes;
using testing::StartPythonService;
using testing::TempDir;

const QString kUser = QStringLiteral("seller@example.com");
const QString kPassword = QStringLiteral("auth-code-123");
const QString kConnectFailed = QStringLiteral("连接邮箱服务器失败");

class MailTestActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mail::SetTimeouts(5000, 20000);
    port_ =
        StartPythonService(sink_, "smtp_sink.py",
                           {"--user", kUser.toStdString(), "--password", kPassword.toStdString(),
                            "--reject-rcpt", "^nobody@", "--maildir", maildir_.path()});
    ASSERT_NE(port_, 0);
    server_.setText(QStringLiteral("127.0.0.1:%1").arg(port_));
    user_.setText(kUser);
    password_.setText(kPassword);
  }
  void TearDown() override { mail::Disconnect(); }

  std::vector<std::string> Mails() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(maildir_.File("log.jsonl")));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  std::vector<QString> Texts() const { return dialogs_.dialogs.Texts(); }

  TempDir maildir_;
  ChildProcess sink_;
  int port_ = 0;
  ScopedScriptedDialogs dialogs_;
  QWidget window_;
  QLineEdit server_{&window_}, user_{&window_}, password_{&window_};
  QPushButton connect_{&window_}, send_{&window_}, tips_{&window_};
  MailTestActions actions_{&window_,  &server_, &user_, &password_,
                           &connect_, &send_,   &tips_, nullptr};
};

TEST_F(MailTestActionsTest, ConnectionTestReportsSuccessInOneOkBox) {
  connect_.click();
  auto seen = dialogs_.dialogs.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, QStringLiteral("连接邮箱服务器成功"));
  EXPECT_EQ(seen[0].caption, QString());
  EXPECT_EQ(seen[0].buttons, Dialogs::Buttons::kOk);
}

TEST_F(MailTestActionsTest, ConnectionTestFailures) {
  struct Case {
    const char* name;
    QString server, user, password;
  } cases[] = {
      {"wrong password", server_.text(), kUser, QStringLiteral("wrong")},
      {"nothing listening", QStringLiteral("127.0.0.1:1"), kUser, kPassword},
      {"all fields empty", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.dialogs.ClearSeen();
    server_.setText(c.server);
    user_.setText(c.user);
    password_.setText(c.password);
    connect_.click();
    EXPECT_EQ(Texts(), std::vector<QString>{kConnectFailed});
  }
}

TEST_F(MailTestActionsTest, TestMailGoesToTheAccountItselfByDefault) {
  send_.click();
  auto seen = dialogs_.dialogs.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].caption, QStringLiteral("请输入邮箱地址"));
  EXPECT_EQ(seen[0].text, QStringLiteral("请输入邮箱地址"));
  EXPECT_EQ(seen[1].text, QStringLiteral("发送成功，请打开邮件查看测试邮件是否收到"));
  auto mails = Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].find(R"("rcpt_tos": ["seller@example.com"])"), std::string::npos);
  EXPECT_NE(mails[0].find(R"("mail_from": "seller@example.com")"), std::string::npos);
  EXPECT_NE(mails[0].find(R"("subject": "自动发货测试邮件")"), std::string::npos) << mails[0];
  EXPECT_NE(mails[0].find(R"("body": "测试成功，可以正常使用。")"), std::string::npos);
}

TEST_F(MailTestActionsTest, TypedAddressIsUsedAndRefusalsAreShownWithTheClientsText) {
  struct Case {
    const char* name;
    QString typed;
    QString shown_prefix;
    bool arrives;
  } cases[] = {
      {"another address", QStringLiteral("buyer@example.com"),
       QStringLiteral("发送成功，请打开邮件查看测试邮件是否收到"), true},
      {"blanks around it, kept", QStringLiteral(" buyer@example.com "),
       QStringLiteral("发送成功，请打开邮件查看测试邮件是否收到"), true},
      {"rejected by the server", QStringLiteral("nobody@example.com"),
       QStringLiteral("发送失败550 5.1.1 <nobody@example.com>: Recipient address rejected"), false},
      {"empty", QString(), QStringLiteral("发送失败501"), false},
      {"line break", QStringLiteral("a@example.com\r\nBcc: b@example.com"),
       QStringLiteral("发送失败收件人地址"), false},
  };
  size_t expected_mails = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.dialogs.ClearSeen();
    dialogs_.dialogs.QueueInput(c.typed);
    send_.click();
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[1].startsWith(c.shown_prefix)) << texts[1].toStdString();
    if (c.arrives) ++expected_mails;
    EXPECT_EQ(Mails().size(), expected_mails);
  }
}

TEST_F(MailTestActionsTest, CancelledInputDoesNothing) {
  dialogs_.dialogs.QueueInput(std::nullopt);
  send_.click();
  EXPECT_EQ(Texts().size(), 1u) << "only the input box";
  EXPECT_TRUE(Mails().empty());
}

TEST_F(MailTestActionsTest, FailedConnectDuringTestMailShowsOnlyTheConnectFailure) {
  password_.setText(QStringLiteral("wrong"));
  send_.click();
  auto texts = Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], kConnectFailed);
  EXPECT_TRUE(Mails().empty());
}

TEST_F(MailTestActionsTest, TipsBoxHasItsCaptionAndText) {
  tips_.click();
  auto seen = dialogs_.dialogs.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, QStringLiteral("发信设置技巧"));
  EXPECT_TRUE(seen[0].text.startsWith(QStringLiteral("通过SMTP发信，无需验证码!")));
  EXPECT_TRUE(seen[0].text.endsWith(QStringLiteral("可以用企业QQ邮箱来发信满足要求。")));
  EXPECT_EQ(seen[0].buttons, Dialogs::Buttons::kOk);
}

}  // namespace
}  // namespace fahuo
