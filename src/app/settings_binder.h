#pragma once
// Keeps the four settings fields and Peizhi.ini in step: loaded once at start-up; the server,
// the account and the interval written on every change, the password when its field is left
// (kept here meanwhile). The password goes through a PasswordStore whose keyring calls run
// on a worker of the binder's own, so a slow or silent keyring never holds up the window; a
// keyring that did not answer is asked again later, and the password then moves out of the
// file. The password field's tool tip says where it is kept.
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <string>

#include "app/core/password_store.h"
#include "platform/worker.h"

class QLineEdit;
class QTimer;

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
  ~SettingsBinder() override;  // Shutdown()
  // Keeps the password in `store` (it outlives the binder) instead of in Peizhi.ini alone.
  // Before Load().
  void UsePasswordStore(PasswordStore& store) { passwords_ = &store; }
  // Removes temporaries an interrupted write left behind, then fills the fields from the
  // file (defaults for what is missing); writes nothing back. A password kept in the keyring
  // fills its field when the keyring answers, unless the seller typed one meanwhile.
  void Load();
  // At quit: writes a password typed but not yet written, or whose keyring answer is still
  // out, waiting for the keyring (at most its time limit). The fields are not touched again.
  void Shutdown();
  // How long a keyring that did not answer rests before it is asked again; each further
  // silence doubles the wait, up to 30 min.
  void AskKeyringAgainAfter(std::chrono::milliseconds first);

 signals:
  // A write failed after the last one succeeded (once per run of failures, not per
  // keystroke); `message` is for the seller.
  void writeFailed(const QString& message);
  // The first write that succeeded after a failure.
  void writeRecovered(const QString& message);

 private:
  void Save(const SettingKey& key, const QString& text);
  void Log(const QString& line);
  void Report(const PasswordWrite& write);
  void NoteWriteResult(bool ok);
  void SavePassword();
  void AskKeyringForPassword(bool ask_again);
  void GiveKeyringPassword(const std::string& gbk_password, bool ask_again);
  void PasswordRead(KeyringAnswer answer, const std::string& gbk_password, uint64_t edits);
  void PasswordWritten(const std::string& gbk_password, KeyringAnswer told);
  void AskKeyringLater();
  void AskKeyringNow();
  void ShowWherePasswordIs();

  Fields fields_;
  const std::string path_;
  ActivityLog& log_;
  SettingsFilePasswordStore file_passwords_;
  PasswordStore* passwords_ = &file_passwords_;
  bool loading_ = false;
  bool failing_ = false;
  bool shut_ = false;
  std::string password_;       // as typed (GBK)
  std::string written_;        // as last handed to the store
  std::string settled_;        // as last kept, both halves done
  uint64_t edits_ = 0;         // the seller's edits of the password field
  int writes_out_ = 0;         // keyring writes whose answer has not come back
  bool in_keyring_ = false;    // where the settled password is
  bool read_owed_ = false;     // the keyring did not answer the start-up read
  bool keyring_owed_ = false;  // it did not take the written password: the file holds it
  QTimer* ask_again_;
  std::chrono::milliseconds first_wait_ = std::chrono::minutes(1);
  std::chrono::milliseconds wait_ = first_wait_;
  Worker keyring_;  // last: it stops before anything its jobs use goes
};

}  // namespace fahuo
