#include "app/core/password_store.h"

#include "app/core/settings.h"
#include "platform/gbk.h"
#include "platform/keyring/secret_store.h"

namespace fahuo {
namespace {

// The keyring's name for fahuo's items (the program's reverse domain name).
constexpr char kApplication[] = "invalid.fahuo.fahuo.MailboxPassword";

// The item of a settings file is named by the folder it lies in; a password other than the
// mailbox's by the folder and its key's name.
std::string FolderOf(const std::string& settings_path) {
  const size_t slash = settings_path.rfind('/');
  return slash == std::string::npos ? std::string(".") : settings_path.substr(0, slash);
}
std::string ItemOf(const std::string& settings_path, const SettingKey& key) {
  const std::string folder = FolderOf(settings_path);
  return &key == &kSettingPassword ? folder : folder + " " + key.key;
}
std::string LabelOf(const std::string& settings_path, const SettingKey& key) {
  return std::string(&key == &kSettingPassword ? "fahuo 发信邮箱密码 ("
                                               : "fahuo 备用发信邮箱密码 (") +
         FolderOf(settings_path) + ")";
}

KeyringAnswer FromSecrets(SecretStore::Result result) {
  switch (result) {
    case SecretStore::Result::kOk:
      return KeyringAnswer::kOk;
    case SecretStore::Result::kNotFound:
      return KeyringAnswer::kNotFound;
    case SecretStore::Result::kUnavailable:
      break;
  }
  return KeyringAnswer::kUnavailable;
}

}  // namespace

std::string PasswordStore::Read(const std::string& settings_path, const SettingKey& key) {
  // The tool tip and the log speak of the mailbox password only.
  const bool mailbox = &key == &kSettingPassword;
  std::string in_file = ReadSetting(settings_path, key);
  if (!in_file.empty()) {
    if (mailbox) in_keyring_ = false;
    return in_file;
  }
  std::string secret;
  const KeyringAnswer answer = ReadKeyring(settings_path, key, secret);
  // A keyring that answered "none" takes the first password typed.
  if (mailbox) in_keyring_ = answer == KeyringAnswer::kOk || answer == KeyringAnswer::kNotFound;
  return secret;
}

PasswordWrite PasswordStore::Write(const std::string& settings_path,
                                   const std::string& gbk_password, const SettingKey& key) {
  const KeyringAnswer told = WriteKeyring(settings_path, key, gbk_password);
  const bool mailbox = &key == &kSettingPassword;
  PasswordWrite result =
      FinishPasswordWrite(settings_path, key, gbk_password, told, mailbox && in_keyring_);
  if (mailbox) in_keyring_ = told == KeyringAnswer::kOk;
  return result;
}

KeyringAnswer PasswordStore::ReadKeyring(const std::string&, const SettingKey&, std::string&) {
  return KeyringAnswer::kNoKeyring;
}

KeyringAnswer PasswordStore::WriteKeyring(const std::string&, const SettingKey&,
                                          const std::string&) {
  return KeyringAnswer::kNoKeyring;
}

PasswordWrite FinishPasswordWrite(const std::string& settings_path, const SettingKey& key,
                                  const std::string& gbk_password, KeyringAnswer told,
                                  bool was_in_keyring) {
  PasswordWrite result;
  if (told != KeyringAnswer::kOk) {
    result.ok = WriteSetting(settings_path, key, gbk_password, &result.kept_as);
    result.left_keyring =
        &key == &kSettingPassword && was_in_keyring && told == KeyringAnswer::kUnavailable;
    return result;
  }
  if (ReadSetting(settings_path, key).empty()) {
    result.ok = true;
    return result;
  }
  result.ok = WriteSetting(settings_path, key, {}, &result.kept_as);
  result.moved_to_keyring = result.ok;
  return result;
}

KeyringPasswordStore::KeyringPasswordStore()
    : KeyringPasswordStore(std::make_unique<SecretStore>(kApplication)) {}

KeyringPasswordStore::KeyringPasswordStore(std::unique_ptr<SecretStore> secrets)
    : secrets_(std::move(secrets)) {}

KeyringPasswordStore::~KeyringPasswordStore() = default;

KeyringAnswer KeyringPasswordStore::ReadKeyring(const std::string& settings_path,
                                                const SettingKey& key, std::string& gbk_password) {
  std::string secret;
  std::lock_guard lock(mutex_);
  const KeyringAnswer answer = FromSecrets(secrets_->Read(ItemOf(settings_path, key), secret));
  gbk_password = answer == KeyringAnswer::kOk ? Utf8ToGbk(secret) : std::string();
  return answer;
}

KeyringAnswer KeyringPasswordStore::WriteKeyring(const std::string& settings_path,
                                                 const SettingKey& key,
                                                 const std::string& gbk_password) {
  const std::string item = ItemOf(settings_path, key);
  std::lock_guard lock(mutex_);
  return FromSecrets(gbk_password.empty() ? secrets_->Remove(item)
                                          : secrets_->Write(item, LabelOf(settings_path, key),
                                                            GbkToUtf8(gbk_password)));
}

void KeyringPasswordStore::AskKeyringAgain() {
  std::lock_guard lock(mutex_);
  secrets_->AskAgain();
}

}  // namespace fahuo
