#pragma once
// The three buttons beside the mail account fields: connection test, test mail, tips.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <functional>
#include <string>

#include "delivery/mail_setup.h"
#include "platform/mail_client.h"
#include "rules/delivery_rule.h"

class QLineEdit;
class QPushButton;
class QWidget;

namespace fahuo {

class Dialogs;

// Connects the buttons' clicks on construction. The two tests talk to the mail server on a
// worker thread of their own, each over a mail session of its own (a delivery under way is
// neither waited for nor disturbed), so the window stays responsive however long the server
// takes; meanwhile both test buttons are disabled and the clicked one says "测试中…". The
// answer box comes when the test ends, over `window`, through `dialogs` (which outlives this).
class MailTestActions : public QObject {
  Q_OBJECT

 public:
  MailTestActions(QWidget* window, Dialogs& dialogs, QLineEdit* server, QLineEdit* user,
                  QLineEdit* password, QPushButton* 按钮_连接, QPushButton* 按钮_发送,
                  QPushButton* 按钮2, mail::Options options, QObject* parent = nullptr);
  ~MailTestActions() override;  // Shutdown()

  // Cuts the mail exchange of a test at work and waits for its worker. For the end of the
  // program; no test runs afterwards.
  void Shutdown();

  // True from a test's click until its answer box is closed.
  bool TestRunning() const { return running_; }

  // The account in the three fields (GBK).
  MailAccount ReadAccount() const;

  // Mails a rule's filled `subject` and `body` (GBK) from `account` to its own address, on
  // the worker like the tests; the answer box comes over `box_parent` (the window when that
  // is gone), then `done` runs. While a test runs it says so and calls `done` at once.
  void SendPreview(QWidget* box_parent, const MailAccount& account, std::string subject,
                   std::string body, std::function<void()> done);
  // 发送预览 of the rules window: `rule` filled with a sample order, from the account in the
  // fields to its own address (a box says so when the fields name none).
  void SendRulePreview(QWidget* box_parent, const DeliveryRule& rule, std::function<void()> done);

 public slots:
  void TestConnection();  // 按钮_连接
  void SendTestMail();    // 按钮_发送
  void ShowTips();        // 按钮2

 signals:
  // A test ended: its box was closed and the buttons are back.
  void TestFinished();

 private:
  // Runs `work` on the worker over a session of its own, then shows its answer (GBK) on
  // the UI thread (over `box_parent` when given and still there) and calls `done`.
  using Work = std::function<std::string(mail::Session& session)>;
  void RunTest(QPushButton* clicked, Work work, QWidget* box_parent = nullptr,
               std::function<void()> done = {});
  // On the worker: `work` over a new session that Shutdown can cut.
  std::string WithSession(const Work& work);
  void SetRunning(QPushButton* clicked, bool running);

  QPointer<QWidget> window_;
  Dialogs& dialogs_;
  QPointer<QLineEdit> server_;
  QPointer<QLineEdit> user_;
  QPointer<QLineEdit> password_;
  QPointer<QPushButton> connect_button_;
  QPointer<QPushButton> send_button_;
  QPointer<QPushButton> running_button_;
  QString running_caption_;
  bool running_ = false;
  mail::SessionSlot slot_;  // the test's session at work, which Shutdown cuts
  QThread worker_thread_;
  QObject* worker_ = nullptr;  // lives on worker_thread_, deleted when it ends
};

}  // namespace fahuo
