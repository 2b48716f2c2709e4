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

}  // namespace

std::string SettingsFilePasswordStore::ReadKey(const std::string& settings_path,
                                               const SettingKey& key) {
  return ReadSetting(settings_path, key);
}

PasswordWrite SettingsFilePasswordStore::WriteKey(const std::string& settings_path,
                                                  const SettingKey& key,
                                                  const std::string& gbk_password) {
  PasswordWrite result;
  result.ok = WriteSetting(settings_path, key, gbk_password, &result.kept_as);
  return result;
}

KeyringPasswordStore::KeyringPasswordStore()
    : KeyringPasswordStore(std::make_unique<SecretStore>(kApplication)) {}

KeyringPasswordStore::KeyringPasswordStore(std::unique_ptr<SecretStore> secrets)
    : secrets_(std::move(secrets)) {}

KeyringPasswordStore::~KeyringPasswordStore() = default;

void KeyringPasswordStore::NoteWhere(const SettingKey& key, bool in_keyring) {
  // The tool tip and the log speak of the mailbox password only.
  if (&key == &kSettingPassword) in_keyring_ = in_keyring;
}

std::string KeyringPasswordStore::ReadKey(const std::string& settings_path, const SettingKey& key) {
  std::string in_file = file_.Read(settings_path, key);
  if (!in_file.empty()) {
    NoteWhere(key, false);
    return in_file;
  }
  std::string secret;
  switch (secrets_->Read(ItemOf(settings_path, key), secret)) {
    case SecretStore::Result::kOk:
      NoteWhere(key, true);
      return Utf8ToGbk(secret);
    case SecretStore::Result::kNotFound:
      NoteWhere(key, true);  // it answered: the first password typed goes there
      return {};
    case SecretStore::Result::kUnavailable:
      break;
  }
  NoteWhere(key, false);
  return {};
}

PasswordWrite KeyringPasswordStore::WriteKey(const std::string& settings_path,
                                             const SettingKey& key,
                                             const std::string& gbk_password) {
  const bool was_in_keyring = in_keyring_;
  const std::string item = ItemOf(settings_path, key);
  const SecretStore::Result stored =
      gbk_password.empty()
          ? secrets_->Remove(item)
          : secrets_->Write(item, LabelOf(settings_path, key), GbkToUtf8(gbk_password));
  if (stored != SecretStore::Result::kOk) {
    PasswordWrite result = file_.Write(settings_path, gbk_password, key);
    result.left_keyring = &key == &kSettingPassword && was_in_keyring;
    NoteWhere(key, false);
    return result;
  }
  NoteWhere(key, true);
  // The file keeps no copy: an old password there would win over the keyring's at the
  // next start.
  PasswordWrite result;
  if (file_.Read(settings_path, key).empty()) {
    result.ok = true;
    return result;
  }
  result = file_.Write(settings_path, {}, key);
  result.moved_to_keyring = result.ok;
  return result;
}

}  // namespace fahuo
