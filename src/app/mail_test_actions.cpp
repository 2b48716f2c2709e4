#include "app/mail_test_actions.h"

#include <QLineEdit>
#include <QPushButton>

#include "delivery/mail_presets.h"
#include "delivery/placeholders.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

const QString kTipsCaption = QStringLiteral("发信设置技巧");
const QString kTipsText =
    QString::fromUtf8(MailSetupTips().data(), static_cast<qsizetype>(MailSetupTips().size()));
const QString kAddressPrompt = QStringLiteral("请输入邮箱地址");
const QString kRunningCaption = QStringLiteral("测试中…");

std::string GbkOf(const QLineEdit* edit) { return edit ? ToGbk(edit->text()) : std::string(); }

}  // namespace

MailTestActions::MailTestActions(QWidget* window, Dialogs& dialogs, QLineEdit* server,
                                 QLineEdit* user, QLineEdit* password, QPushButton* 按钮_连接,
                                 QPushButton* 按钮_发送, QPushButton* 按钮2, mail::Options options,
                                 QObject* parent)
    : QObject(parent),
      window_(window),
      dialogs_(dialogs),
      server_(server),
      user_(user),
      password_(password),
      connect_button_(按钮_连接),
      send_button_(按钮_发送),
      slot_(std::move(options)) {
  if (按钮_连接) connect(按钮_连接, &QPushButton::clicked, this, &MailTestActions::TestConnection);
  if (按钮_发送) connect(按钮_发送, &QPushButton::clicked, this, &MailTestActions::SendTestMail);
  if (按钮2) connect(按钮2, &QPushButton::clicked, this, &MailTestActions::ShowTips);
  worker_thread_.setObjectName(QStringLiteral("mail tests"));
  worker_ = new QObject;
  worker_->moveToThread(&worker_thread_);
  connect(&worker_thread_, &QThread::finished, worker_, &QObject::deleteLater);
  worker_thread_.start();
}

MailTestActions::~MailTestActions() { Shutdown(); }

void MailTestActions::Shutdown() {
  slot_.Abort();
  worker_thread_.quit();
  worker_thread_.wait();
}

std::string MailTestActions::WithSession(const Work& work) {
  std::string text = mail::AbortedText();
  slot_.Run([&](mail::Session& session) { text = work(session); });
  return text;
}

MailAccount MailTestActions::ReadAccount() const {
  return {GbkOf(server_), GbkOf(user_), GbkOf(password_)};
}

void MailTestActions::SetRunning(QPushButton* clicked, bool running) {
  running_ = running;
  if (running) {
    running_button_ = clicked;
    if (clicked) {
      running_caption_ = clicked->text();
      clicked->setText(kRunningCaption);
    }
  } else if (running_button_) {
    running_button_->setText(running_caption_);
  }
  for (QPushButton* b : {connect_button_.data(), send_button_.data()}) {
    if (b) b->setEnabled(!running);
  }
}

void MailTestActions::RunTest(QPushButton* clicked, Work work, QWidget* box_parent,
                              std::function<void()> done) {
  SetRunning(clicked, true);
  QPointer<QWidget> parent = box_parent ? box_parent : window_.data();
  PostToUi(worker_, [this, work = std::move(work), parent, done = std::move(done)] {
    std::string answer;
    try {
      answer = WithSession(work);
    } catch (...) {
      answer = FAHUO_GBK("连接邮箱服务器失败");
    }
    PostToUi(this, [this, answer = std::move(answer), parent, done] {
      dialogs_.ShowMessage(parent ? parent.data() : window_.data(), FromGbk(answer));
      SetRunning(nullptr, false);
      if (done) done();
      emit TestFinished();
    });
  });
}

void MailTestActions::TestConnection() {
  if (running_) return;
  RunTest(connect_button_, [account = ReadAccount()](mail::Session& session) {
    return CheckMailConnection(session, account).text;
  });
}

void MailTestActions::SendTestMail() {
  if (running_) return;
  const QString initial = user_ ? user_->text() : QString();
  std::optional<QString> address = dialogs_.Input(window_, kAddressPrompt, kAddressPrompt, initial);
  if (!address) return;
  RunTest(send_button_,
          [account = ReadAccount(), recipient = ToGbk(*address)](mail::Session& session) {
            return RunTestMail(session, account, recipient);
          });
}

void MailTestActions::SendPreview(QWidget* box_parent, const MailAccount& account,
                                  std::string subject, std::string body,
                                  std::function<void()> done) {
  if (running_) {
    dialogs_.ShowMessage(box_parent, QStringLiteral("邮件测试进行中，请稍后再试"));
    if (done) done();
    return;
  }
  RunTest(
      nullptr,
      [account, subject = std::move(subject), body = std::move(body)](mail::Session& session) {
        return RunPreviewMail(session, account, subject, body);
      },
      box_parent, std::move(done));
}

void MailTestActions::SendRulePreview(QWidget* box_parent, const DeliveryRule& rule,
                                      std::function<void()> done) {
  const MailAccount account = ReadAccount();
  if (account.user.empty()) {
    dialogs_.ShowMessage(box_parent,
                         QStringLiteral("请先在主窗口填写邮箱用户名：预览邮件发到这个地址"), {},
                         Dialogs::Icon::kInformation);
    if (done) done();
    return;
  }
  const BillRecord sample = SampleOrder();
  SendPreview(box_parent, account, ExpandPlaceholders(rule.subject, sample),
              ExpandPlaceholders(rule.body, sample), std::move(done));
}

void MailTestActions::ShowTips() { dialogs_.ShowMessage(window_, kTipsText, kTipsCaption); }

}  // namespace fahuo
