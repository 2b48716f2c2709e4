#pragma once
// The settings file Peizhi.ini: four values of the control panel that survive a restart
// (GBK text; section "支付宝自助"), and where alerts go (section "提醒").
#include <optional>
#include <string>

namespace fahuo {

class DataFolder;

struct SettingKey {
  const char* key;                // UTF-8 key name ("IP", "端口", "连接码", "定时")
  const char* default_value;      // UTF-8
  const char* section = nullptr;  // UTF-8; none: "支付宝自助"
};

// In load order: server, account, password, interval.
extern const SettingKey kSettingServer;
extern const SettingKey kSettingAccount;
extern const SettingKey kSettingPassword;
extern const SettingKey kSettingInterval;

// [提醒]: the alert mail address (missing: the sending account; empty: no alert mail), the
// webhook URL (empty: none), its format (empty: found from the URL; see
// delivery/push_webhook.h) and the daily summary's time HH:MM (empty: none).
extern const SettingKey kAlertMail;
extern const SettingKey kAlertWebhook;
extern const SettingKey kAlertWebhookFormat;
extern const SettingKey kAlertSummary;
// [发信] 每分钟封数: the sending pace, mails per minute (missing or empty: the provider's
// preset, none for others; 0: no pace).
extern const SettingKey kSendPace;
// [发信] 备用服务器, 备用邮箱, 备用密码, 备用每分钟封数: the second sending account (备用发信邮箱;
// no server or address: none) and its pace, as kSendPace. Its password, like the first's,
// lives in the keyring where one answers.
extern const SettingKey kBackupServer;
extern const SettingKey kBackupAccount;
extern const SettingKey kBackupPassword;
extern const SettingKey kBackupPace;
// [退信] 服务器 (the inbox's IMAP server host[:port]; empty: derived from the sending
// server), 检查间隔 (minutes, at least 1; default 5), 开启 (1/0; default 1): reading bounced
// mails back from the sending accounts' inboxes.
extern const SettingKey kBounceServer;
extern const SettingKey kBounceInterval;
extern const SettingKey kBounceEnabled;
// The interval's minutes as typed: default 5 for a missing or unreadable value, at least 1.
int ParseBounceInterval(const std::string& text);

// The settings file in `folder`.
std::string SettingsPath(const DataFolder& folder);

// The value under `key` (GBK), or the key's default when the file, section or key is
// missing or the file cannot be read. Only a regular file is read, and opening never
// blocks (a FIFO in its place reads as unreadable).
std::string ReadSetting(const std::string& path, const SettingKey& key);
// As ReadSetting, but none when the key is missing (or the file unreadable).
std::optional<std::string> ReadSettingIfPresent(const std::string& path, const SettingKey& key);

// Writes `gbk_value` under `key`, keeping every other line's value; the value reads back
// byte for byte (line breaks, which would end it early, become blanks). The new file
// replaces the old one whole (a crash never leaves a torn file) and is readable by its
// owner only, since it may hold the mailbox password. A file that exists but cannot be read
// (too large, not a regular file, no permission) is never written over: it is first
// renamed aside with the time in its name, and `kept_as` (optional) receives that name.
// False when the file could not be written (or the unreadable one not moved aside).
bool WriteSetting(const std::string& path, const SettingKey& key, const std::string& gbk_value,
                  std::string* kept_as = nullptr);

// Removes the temporary files that a write interrupted by a kill left beside `path` (they
// hold the password in clear). Only names of our own making are touched. Returns how many.
int RemoveLeftoverTemporaries(const std::string& path);

}  // namespace fahuo
