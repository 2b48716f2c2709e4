#pragma once
// Keeps the four settings fields and Peizhi.ini in step: loaded once at start-up, written
// on every change of a field. The password goes through a PasswordStore (the keyring where
// one answers); the password field's tool tip says where it is kept.
#include <QObject>
#include <QString>
#include <string>

#include "app/core/password_store.h"

class QLineEdit;

namespace fahuo {

class ActivityLog;
struct SettingKey;

class SettingsBinder : public QObject {
  Q_OBJECT
 public:
  // The fields kept in the file, by their control names. All must be set.
  struct Fields {
    QLineEdit* 编辑框_邮箱服务器地址;
    QLineEdit* 编辑框_邮箱用户名;
    QLineEdit* 编辑框_邮箱密码;
    QLineEdit* 编辑框_间隔时间;
  };

  // Keeps the file at `settings_path`; tells of a file it had to rename aside, or could not
  // write, in `log` (which outlives this).
  SettingsBinder(const Fields& fields, std::string settings_path, ActivityLog& log,
                 QObject* parent = nullptr);
  // Keeps the password in `store` (it outlives the binder) instead of in Peizhi.ini alone.
  // Before Load().
  void UsePasswordStore(PasswordStore& store) { passwords_ = &store; }
  // Removes temporaries an interrupted write left behind, then fills the fields from the
  // file (defaults for what is missing); writes nothing back.
  void Load();

 signals:
  // A write failed after the last one succeeded (once per run of failures, not per
  // keystroke); `message` is for the seller.
  void writeFailed(const QString& message);
  // The first write that succeeded after a failure.
  void writeRecovered(const QString& message);

 private:
  void Save(const SettingKey& key, const QString& text);
  void Log(const QString& line);
  bool Write(const std::string& path, const SettingKey& key, const std::string& gbk_value);
  void ShowWherePasswordIs();

  Fields fields_;
  const std::string path_;
  ActivityLog& log_;
  SettingsFilePasswordStore file_passwords_;
  PasswordStore* passwords_ = &file_passwords_;
  bool loading_ = false;
  bool failing_ = false;
};

}  // namespace fahuo
