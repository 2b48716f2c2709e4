#include "app/settings_binder.h"

#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

constexpr std::chrono::milliseconds kLongestWait = std::chrono::minutes(30);

// The fields written at every change; the password has its own way.
std::pair<QLineEdit*, const SettingKey*> Binding(const SettingsBinder::Fields& f, int i) {
  switch (i) {
    case 0:
      return {f.编辑框_邮箱服务器地址, &kSettingServer};
    case 1:
      return {f.编辑框_邮箱用户名, &kSettingAccount};
    default:
      return {f.编辑框_间隔时间, &kSettingInterval};
  }
}
constexpr int kPlainFields = 3;

}  // namespace

SettingsBinder::SettingsBinder(const Fields& fields, std::string settings_path, ActivityLog& log,
                               QObject* parent)
    : QObject(parent),
      fields_(fields),
      path_(std::move(settings_path)),
      log_(log),
      ask_again_(new QTimer(this)) {
  for (int i = 0; i < kPlainFields; ++i) {
    auto [edit, key] = Binding(fields_, i);
    connect(edit, &QLineEdit::textChanged, this, [this, key = key](const QString& text) {
      if (!loading_) Save(*key, text);
    });
  }
  // A password is written once it is typed whole, not at each keystroke (each write may ask
  // the keyring).
  connect(fields_.编辑框_邮箱密码, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (loading_) return;
    password_ = ToGbk(text);
    ++edits_;
  });
  connect(fields_.编辑框_邮箱密码, &QLineEdit::editingFinished, this,
          &SettingsBinder::SavePassword);
  ask_again_->setSingleShot(true);
  connect(ask_again_, &QTimer::timeout, this, &SettingsBinder::AskKeyringNow);
}

SettingsBinder::~SettingsBinder() { Shutdown(); }

void SettingsBinder::AskKeyringAgainAfter(std::chrono::milliseconds first) {
  first_wait_ = wait_ = first;
}

void SettingsBinder::Log(const QString& line) { log_.Append(ToGbk(line + QStringLiteral("\r\n"))); }

void SettingsBinder::Report(const PasswordWrite& write) {
  if (!write.kept_as.empty()) {
    // The name is ASCII: the settings file's own name and a time stamp.
    const QString name = QString::fromStdString(write.kept_as.substr(write.kept_as.rfind('/') + 1));
    Log(QStringLiteral("设置文件Peizhi.ini无法读取，已改名保留为 %1").arg(name));
  }
  if (write.moved_to_keyring) Log(QStringLiteral("邮箱密码已从Peizhi.ini移入系统密钥环"));
  if (write.left_keyring) {
    Log(QStringLiteral("系统密钥环没有应答，邮箱密码改为保存在Peizhi.ini"));
  }
}

void SettingsBinder::NoteWriteResult(bool ok) {
  if (ok == !failing_) return;
  failing_ = !ok;
  if (failing_) {
    const QString message = QStringLiteral("设置无法保存到Peizhi.ini（文件夹不可写或磁盘已满）");
    Log(message);
    emit writeFailed(message);
  } else {
    const QString message = QStringLiteral("设置已重新保存到Peizhi.ini");
    Log(message);
    emit writeRecovered(message);
  }
}

void SettingsBinder::ShowWherePasswordIs() {
  fields_.编辑框_邮箱密码->setToolTip(
      in_keyring_ ? QStringLiteral("邮箱密码保存在系统密钥环中，Peizhi.ini里不存密码")
                  : QStringLiteral("邮箱密码以明文保存在数据文件夹的Peizhi.ini中（仅本人可读）"));
}

void SettingsBinder::Save(const SettingKey& key, const QString& text) {
  std::string kept_as;
  const bool ok = WriteSetting(path_, key, ToGbk(text), &kept_as);
  Report({.ok = ok, .kept_as = kept_as});
  NoteWriteResult(ok);
}

void SettingsBinder::SavePassword() {
  if (loading_ || shut_ || password_ == written_) return;
  written_ = password_;
  read_owed_ = false;  // what the seller typed wins over what the keyring may still hold
  if (!passwords_->HasKeyring()) {
    PasswordWritten(written_, KeyringAnswer::kNoKeyring);
    return;
  }
  GiveKeyringPassword(written_, false);
}

void SettingsBinder::AskKeyringForPassword(bool ask_again) {
  keyring_.Post([this, store = passwords_, path = path_, edits = edits_, ask_again] {
    if (ask_again) store->AskKeyringAgain();
    std::string gbk;
    const KeyringAnswer answer = store->ReadKeyring(path, kSettingPassword, gbk);
    PostToUi(this, [this, answer, gbk, edits] { PasswordRead(answer, gbk, edits); });
  });
}

void SettingsBinder::GiveKeyringPassword(const std::string& gbk_password, bool ask_again) {
  ++writes_out_;
  keyring_.Post([this, store = passwords_, path = path_, gbk = gbk_password, ask_again] {
    if (ask_again) store->AskKeyringAgain();
    const KeyringAnswer told = store->WriteKeyring(path, kSettingPassword, gbk);
    PostToUi(this, [this, gbk, told] { PasswordWritten(gbk, told); });
  });
}

void SettingsBinder::PasswordRead(KeyringAnswer answer, const std::string& gbk_password,
                                  uint64_t edits) {
  if (shut_) return;
  if (edits != edits_) {
    read_owed_ = false;  // the seller typed meanwhile
    return;
  }
  read_owed_ = answer == KeyringAnswer::kUnavailable;
  // A keyring that answered "none" takes the first password typed.
  in_keyring_ = answer == KeyringAnswer::kOk || answer == KeyringAnswer::kNotFound;
  if (answer == KeyringAnswer::kOk) {
    loading_ = true;
    fields_.编辑框_邮箱密码->setText(FromGbk(gbk_password));
    loading_ = false;
    password_ = written_ = settled_ = gbk_password;
  }
  ShowWherePasswordIs();
  if (read_owed_) AskKeyringLater();
}

void SettingsBinder::PasswordWritten(const std::string& gbk_password, KeyringAnswer told) {
  --writes_out_;
  if (shut_) return;  // Shutdown wrote what was still out
  const PasswordWrite write =
      FinishPasswordWrite(path_, kSettingPassword, gbk_password, told, in_keyring_);
  if (write.ok) settled_ = gbk_password;
  in_keyring_ = told == KeyringAnswer::kOk;
  keyring_owed_ = told == KeyringAnswer::kUnavailable;
  Report(write);
  NoteWriteResult(write.ok);
  ShowWherePasswordIs();
  if (keyring_owed_) {
    AskKeyringLater();
  } else {
    wait_ = first_wait_;
  }
}

void SettingsBinder::AskKeyringLater() {
  if (ask_again_->isActive()) return;
  ask_again_->start(wait_);
  wait_ = std::min(wait_ * 2, kLongestWait);
}

void SettingsBinder::AskKeyringNow() {
  if (shut_) return;
  if (read_owed_ && edits_ == 0) {
    AskKeyringForPassword(true);
  } else if (keyring_owed_) {
    GiveKeyringPassword(written_, true);
  }
}

void SettingsBinder::Shutdown() {
  if (shut_) return;
  shut_ = true;
  ask_again_->stop();
  keyring_.Stop();
  // What the worker had not finished, and a password typed but never left, is written here;
  // no answer reaches the fields any more, and the window may be gone.
  if (password_ == settled_ && writes_out_ == 0) return;
  const KeyringAnswer told = passwords_->WriteKeyring(path_, kSettingPassword, password_);
  Report(FinishPasswordWrite(path_, kSettingPassword, password_, told, in_keyring_));
}

void SettingsBinder::Load() {
  loading_ = true;
  RemoveLeftoverTemporaries(path_);
  for (int i = 0; i < kPlainFields; ++i) {
    auto [edit, key] = Binding(fields_, i);
    edit->setText(FromGbk(ReadSetting(path_, *key)));
  }
  // A 连接码 in the file wins (an old file, or one written while the keyring was away).
  password_ = written_ = settled_ = ReadSetting(path_, kSettingPassword);
  fields_.编辑框_邮箱密码->setText(FromGbk(password_));
  in_keyring_ = false;
  loading_ = false;
  ShowWherePasswordIs();
  if (password_.empty() && passwords_->HasKeyring()) AskKeyringForPassword(false);
}

}  // namespace fahuo
