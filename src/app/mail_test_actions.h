#pragma once
// The three buttons beside the mail account fields: connection test, test mail, tips.
#include <QObject>
#include <QPointer>

#include "delivery/mail_setup.h"

class QLineEdit;
class QPushButton;
class QWidget;

namespace fahuo {

// Connects the buttons' clicks on construction. The two tests run on the UI thread and wait
// for the mail server (bounded by the mail client's time-outs); the mail client serialises
// them with a delivery pass working at the same time.
class MailTestActions : public QObject {
  Q_OBJECT

 public:
  MailTestActions(QWidget* window, QLineEdit* server, QLineEdit* user, QLineEdit* password,
                  QPushButton* 按钮_连接, QPushButton* 按钮_发送, QPushButton* 按钮2,
                  QObject* parent = nullptr);

 public slots:
  void TestConnection();  // 按钮_连接
  void SendTestMail();    // 按钮_发送
  void ShowTips();        // 按钮2

 private:
  MailAccount ReadAccount() const;

  QPointer<QWidget> window_;
  QPointer<QLineEdit> server_;
  QPointer<QLineEdit> user_;
  QPointer<QLineEdit> password_;
};

}  // namespace fahuo
