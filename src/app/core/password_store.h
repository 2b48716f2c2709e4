#pragma once
// Where the mailbox password (邮箱密码) is kept. In Peizhi.ini it is plain text under
// 连接码, as it always was; with a keyring, the keyring holds it and 连接码 stays empty.
#include <memory>
#include <mutex>
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

// What the keyring said to one call.
enum class KeyringAnswer {
  kNoKeyring,    // the store keeps passwords in the file alone
  kOk,           // done (a read found the password)
  kNotFound,     // a read: it answered and holds none
  kUnavailable,  // it did not answer in time, or there is none on this desktop
};

// A password is kept in two halves: the keyring's, which may wait for the keyring's time
// limit, and the file's. Read and Write do both in turn; a caller that must not wait (the
// window) runs the keyring's half on a thread of its own (those calls may come from any
// thread) and the file's half where it writes the settings file.
class PasswordStore {
 public:
  virtual ~PasswordStore() = default;

  // The password (GBK) that goes with the settings file `settings_path` and its `key`
  // (the mailbox password, or the second account's); empty when none. A 连接码 in the file
  // wins over the keyring's.
  std::string Read(const std::string& settings_path, const SettingKey& key = kSettingPassword);
  // Keeps `gbk_password` for `settings_path` and `key` (empty: no password).
  PasswordWrite Write(const std::string& settings_path, const std::string& gbk_password,
                      const SettingKey& key = kSettingPassword);
  // Whether the mailbox password, as last read or written by the two calls above, is in the
  // keyring (else in the file).
  bool InKeyring() const { return in_keyring_; }

  // Whether there is a keyring to ask at all.
  virtual bool HasKeyring() const { return false; }
  // The keyring's half of Read, for `settings_path` and `key`.
  virtual KeyringAnswer ReadKeyring(const std::string& settings_path, const SettingKey& key,
                                    std::string& gbk_password);
  // The keyring's half of Write: stores `gbk_password`, or removes the item when it is empty.
  virtual KeyringAnswer WriteKeyring(const std::string& settings_path, const SettingKey& key,
                                     const std::string& gbk_password);
  // A keyring that did not answer counts as none, without a wait, until this is called:
  // then the next call asks it again.
  virtual void AskKeyringAgain() {}

 private:
  bool in_keyring_ = false;
};

// The file's half of a write whose keyring half answered `told`: when the keyring holds the
// password the file keeps no copy (an old one would win at the next start), otherwise the
// file keeps it. `was_in_keyring`: where the password was before, for `left_keyring`.
PasswordWrite FinishPasswordWrite(const std::string& settings_path, const SettingKey& key,
                                  const std::string& gbk_password, KeyringAnswer told,
                                  bool was_in_keyring);

// 连接码 in Peizhi.ini, nothing else: the behaviour without a keyring.
class SettingsFilePasswordStore : public PasswordStore {};

// The keyring, one item per settings folder, so that two data folders keep two passwords.
// A 连接码 found in Peizhi.ini wins (an old file, or one written while the keyring was
// away) and moves into the keyring at the next write. A keyring that does not answer (none
// runs, it is locked, it takes more than 2 s) counts as none until AskKeyringAgain(): the
// password then stays in Peizhi.ini exactly as without one.
class KeyringPasswordStore : public PasswordStore {
 public:
  KeyringPasswordStore();  // the desktop's keyring
  explicit KeyringPasswordStore(std::unique_ptr<SecretStore> secrets);
  ~KeyringPasswordStore() override;

  bool HasKeyring() const override { return true; }
  KeyringAnswer ReadKeyring(const std::string& settings_path, const SettingKey& key,
                            std::string& gbk_password) override;
  KeyringAnswer WriteKeyring(const std::string& settings_path, const SettingKey& key,
                             const std::string& gbk_password) override;
  void AskKeyringAgain() override;

 private:
  std::mutex mutex_;  // one keyring call at a time: the binder's worker and the alerts'
  std::unique_ptr<SecretStore> secrets_;
};

}  // namespace fahuo
