#include "app/mail_test_actions.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/support/dialogs.h"
#include "app/support/qt_text.h"

namespace fahuo {
namespace {

const QString kTipsCaption = QStringLiteral("发信设置技巧");
const QString kTipsText = QStringLiteral(
    "通过SMTP发信，无需验证码!发信效果虽差，但是能满足虚拟产品自动发货的需求，据我所知大部分人卖"
    "虚拟产品停留在一天几单或者几天一单的情况下，利用SMTP发信完全可以满足要求。订单累计多的每天有"
    "几十上百单的可以用企业QQ邮箱来发信满足要求。");
const QString kAddressPrompt = QStringLiteral("请输入邮箱地址");

std::string GbkOf(const QLineEdit* edit) { return edit ? ToGbk(edit->text()) : std::string(); }

}  // namespace

MailTestActions::MailTestActions(QWidget* window, QLineEdit* server, QLineEdit* user,
                                 QLineEdit* password, QPushButton* 按钮_连接,
                                 QPushButton* 按钮_发送, QPushButton* 按钮2, QObject* parent)
    : QObject(parent), window_(window), server_(server), user_(user), password_(password) {
  if (按钮_连接) connect(按钮_连接, &QPushButton::clicked, this, &MailTestActions::TestConnection);
  if (按钮_发送) connect(按钮_发送, &QPushButton::clicked, this, &MailTestActions::SendTestMail);
  if (按钮2) connect(按钮2, &QPushButton::clicked, this, &MailTestActions::ShowTips);
}

MailAccount MailTestActions::ReadAccount() const {
  return {GbkOf(server_), GbkOf(user_), GbkOf(password_)};
}

void MailTestActions::TestConnection() {
  RunMailConnectionTest(ReadAccount(),
                        [this](const std::string& text) { ShowMessage(window_, FromGbk(text)); });
}

void MailTestActions::SendTestMail() {
  const QString initial = user_ ? user_->text() : QString();
  std::optional<QString> address =
      CurrentDialogs().Input(window_, kAddressPrompt, kAddressPrompt, initial);
  if (!address) return;
  ShowMessage(window_, FromGbk(RunTestMail(ReadAccount(), ToGbk(*address))));
}

void MailTestActions::ShowTips() { ShowMessage(window_, kTipsText, kTipsCaption); }

}  // namespace fahuo
