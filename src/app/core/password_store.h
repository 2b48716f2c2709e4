#pragma once
// Where the mailbox password (邮箱密码) is kept. In Peizhi.ini it is plain text under
// 连接码, as it always was; with a keyring, the keyring holds it and 连接码 stays empty.
#include <memory>
#include <string>

#include "app/core/settings.h"

namespace fahuo {

class SecretStore;

// What a password write did.
struct PasswordWrite {
  bool ok = false;  // the password is kept (in the keyring or in the file)
  // The unreadable settings file was renamed aside to this name (see WriteSetting).
  std::string kept_as;
  // A password the settings file held now lives in the keyring only.
  bool moved_to_keyring = false;
  // The keyring stopped answering: the settings file holds the password from now on.
  bool left_keyring = false;
};

class PasswordStore {
 public:
  virtual ~PasswordStore() = default;
  // The password (GBK) that goes with the settings file `settings_path` and its `key`
  // (the mailbox password, or the second account's); empty when none.
  std::string Read(const std::string& settings_path, const SettingKey& key = kSettingPassword) {
    return ReadKey(settings_path, key);
  }
  // Keeps `gbk_password` for `settings_path` and `key` (empty: no password).
  PasswordWrite Write(const std::string& settings_path, const std::string& gbk_password,
                      const SettingKey& key = kSettingPassword) {
    return WriteKey(settings_path, key, gbk_password);
  }
  // Whether the mailbox password, as last read or written, is in the keyring (else in the
  // file).
  virtual bool InKeyring() const = 0;

 protected:
  virtual std::string ReadKey(const std::string& settings_path, const SettingKey& key) = 0;
  virtual PasswordWrite WriteKey(const std::string& settings_path, const SettingKey& key,
                                 const std::string& gbk_password) = 0;
};

// 连接码 in Peizhi.ini, nothing else: the behaviour without a keyring.
class SettingsFilePasswordStore : public PasswordStore {
 public:
  bool InKeyring() const override { return false; }

 protected:
  std::string ReadKey(const std::string& settings_path, const SettingKey& key) override;
  PasswordWrite WriteKey(const std::string& settings_path, const SettingKey& key,
                         const std::string& gbk_password) override;
};

// The keyring, one item per settings folder, so that two data folders keep two passwords.
// A 连接码 found in Peizhi.ini wins (an old file, or one written while the keyring was
// away) and moves into the keyring at the next write. A keyring that does not answer (none
// runs, it is locked, it takes more than 2 s) counts as none for the rest of the run: the
// password then stays in Peizhi.ini exactly as without one.
class KeyringPasswordStore : public PasswordStore {
 public:
  KeyringPasswordStore();  // the desktop's keyring
  explicit KeyringPasswordStore(std::unique_ptr<SecretStore> secrets);
  ~KeyringPasswordStore() override;

  bool InKeyring() const override { return in_keyring_; }

 protected:
  std::string ReadKey(const std::string& settings_path, const SettingKey& key) override;
  PasswordWrite WriteKey(const std::string& settings_path, const SettingKey& key,
                         const std::string& gbk_password) override;

 private:
  void NoteWhere(const SettingKey& key, bool in_keyring);

  std::unique_ptr<SecretStore> secrets_;
  SettingsFilePasswordStore file_;
  bool in_keyring_ = false;
};

}  // namespace fahuo
