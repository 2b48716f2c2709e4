#pragma once
// The 提醒设置 window: where alerts go (mail, a push address and its format, the daily
// summary), the sending pace, and the second sending account (备用发信邮箱), with
// 发送测试提醒 for what is typed. 保存 writes Peizhi.ini (the spare password through the
// password store) and accepts; a bad field keeps the window open with a box.
#include <QDialog>
#include <functional>
#include <string>

#include "alerts/alert_courier.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace fahuo {

class Dialogs;
class PasswordStore;

class AlertSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // Sends a test alert over the channels; `done` (any thread) gets the report and whether
  // every channel took it.
  using TestFn =
      std::function<void(const AlertChannels&, std::function<void(const std::string&, bool)> done)>;
  struct Parts {
    std::string settings_path;
    AlertChannels now;  // the file as it is now, over the account deliveries use
    std::string backup_password;
    PasswordStore& passwords;
    Dialogs& dialogs;
    TestFn test;
    // 测试收件 for the account `now` holds and the server typed (empty: derived).
    std::function<void(const MailAccount&, const std::string& server,
                       std::function<void(const std::string&, bool)> done)>
        test_inbox;
  };
  AlertSettingsDialog(Parts parts, QWidget* parent);

 private:
  QGroupBox* BuildBackup();
  QGroupBox* BuildBounces();
  void TestInbox();
  AlertChannels Typed() const;
  void SendTest();
  void Save();
  bool Fails(bool ok, const QString& message);

  const Parts parts_;
  QLineEdit* mail_;
  QLineEdit* hook_;
  QComboBox* format_;
  QLineEdit* summary_;
  QLineEdit* pace_;
  QLineEdit* backup_server_ = nullptr;
  QLineEdit* backup_user_ = nullptr;
  QLineEdit* backup_password_ = nullptr;
  QLineEdit* backup_pace_ = nullptr;
  QPushButton* test_;
  QLineEdit* bounce_server_ = nullptr;
  QLineEdit* bounce_interval_ = nullptr;
  QCheckBox* bounce_on_ = nullptr;
  QPushButton* test_inbox_ = nullptr;
};

}  // namespace fahuo
