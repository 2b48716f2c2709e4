#pragma once
// The three buttons beside the mail account fields: connection test, test mail, tips.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <functional>

#include "delivery/mail_setup.h"

class QLineEdit;
class QPushButton;
class QWidget;

namespace fahuo {

// Connects the buttons' clicks on construction. The two tests talk to the mail server on a
// worker thread of their own, so the window stays responsive however long the server (or a
// delivery pass holding the mail client) takes; meanwhile both test buttons are disabled and
// the clicked one says "测试中…". The answer box comes when the test ends.
class MailTestActions : public QObject {
  Q_OBJECT

 public:
  MailTestActions(QWidget* window, QLineEdit* server, QLineEdit* user, QLineEdit* password,
                  QPushButton* 按钮_连接, QPushButton* 按钮_发送, QPushButton* 按钮2,
                  QObject* parent = nullptr);
  // Waits for a test at work; the mail client's time-outs bound the wait.
  ~MailTestActions() override;

  // True from a test's click until its answer box is closed.
  bool TestRunning() const { return running_; }

 public slots:
  void TestConnection();  // 按钮_连接
  void SendTestMail();    // 按钮_发送
  void ShowTips();        // 按钮2

 signals:
  // A test ended: its box was closed and the buttons are back.
  void TestFinished();

 private:
  struct Answer {
    std::string text;  // GBK, for the box
    bool disconnect_after_box = false;
  };
  MailAccount ReadAccount() const;
  // Runs `work` on the worker, then shows its answer on the UI thread.
  void RunTest(QPushButton* clicked, std::function<Answer()> work);
  void SetRunning(QPushButton* clicked, bool running);

  QPointer<QWidget> window_;
  QPointer<QLineEdit> server_;
  QPointer<QLineEdit> user_;
  QPointer<QLineEdit> password_;
  QPointer<QPushButton> connect_button_;
  QPointer<QPushButton> send_button_;
  QPointer<QPushButton> running_button_;
  QString running_caption_;
  bool running_ = false;
  QThread worker_thread_;
  QObject* worker_ = nullptr;  // lives on worker_thread_, deleted when it ends
};

}  // namespace fahuo
