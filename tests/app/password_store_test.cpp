// The mailbox password over a real Secret Service: GNOME Keyring on a session bus of the
// test's own.
#include "app/core/password_store.h"

#include <gtest/gtest.h>

#include <string>

#include "app/core/settings.h"
#include "platform/gbk.h"
#include "private_keyring.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::TempDir;

std::string FileBytes(const std::string& path) { return testing::ReadFileBytes(path); }

// One story over one keyring: GLib keeps one session bus per process, so a second bus
// needs a second process (the runs without a keyring are password_store_without_keyring).
TEST(KeyringPassword, RoundTripsMovesAnOldPasswordAndIsNotLostWhenTheKeyringGoes) {
  testing::PrivateKeyring keyring;
  ASSERT_PRIVATE_KEYRING(keyring);
  TempDir dir, other, old_dir;
  const std::string path = dir.File("Peizhi.ini");
  const std::string password = Utf8ToGbk("授权码 \"abc\" ");
  ASSERT_TRUE(WriteSetting(path, kSettingServer, "smtp.example.com"));
  {
    KeyringPasswordStore store;
    EXPECT_EQ(store.Read(path), "");
    EXPECT_TRUE(store.InKeyring());
    const PasswordWrite write = store.Write(path, password);
    EXPECT_TRUE(write.ok);
    EXPECT_FALSE(write.moved_to_keyring);
    EXPECT_TRUE(store.InKeyring());
  }
  EXPECT_EQ(ReadSetting(path, kSettingPassword), "");
  EXPECT_EQ(FileBytes(path).find("abc"), std::string::npos);
  {
    KeyringPasswordStore restarted;
    EXPECT_EQ(restarted.Read(path), password);
    EXPECT_TRUE(restarted.InKeyring());
    // Another data folder keeps its own password, and the second account its own item.
    EXPECT_EQ(restarted.Read(other.File("Peizhi.ini")), "");
    EXPECT_EQ(restarted.Read(path, kBackupPassword), "");
    ASSERT_TRUE(restarted.Write(path, "spare", kBackupPassword).ok);
    EXPECT_EQ(KeyringPasswordStore().Read(path, kBackupPassword), "spare");
    EXPECT_EQ(restarted.Read(path), password);
    EXPECT_EQ(ReadSetting(path, kBackupPassword), "");
    // An emptied field leaves no password behind.
    ASSERT_TRUE(restarted.Write(path, "").ok);
    EXPECT_EQ(KeyringPasswordStore().Read(path), "");
  }
  EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.example.com");

  // An old file's password moves at the next write (the window's test follows it through
  // the log and the tool tip).
  const std::string old_path = old_dir.File("Peizhi.ini");
  ASSERT_TRUE(WriteSetting(old_path, kSettingPassword, "old-secret"));
  KeyringPasswordStore store;
  EXPECT_EQ(store.Read(old_path), "old-secret");
  EXPECT_FALSE(store.InKeyring());
  PasswordWrite write = store.Write(old_path, "new-secret");
  EXPECT_TRUE(write.moved_to_keyring);
  EXPECT_EQ(FileBytes(old_path).find("secret"), std::string::npos);
  EXPECT_FALSE(store.Write(old_path, "newer-secret").moved_to_keyring);  // said once
  EXPECT_EQ(KeyringPasswordStore().Read(old_path), "newer-secret");

  // The keyring goes away mid-run: the next password typed is not lost.
  keyring.Stop();
  write = store.Write(old_path, "typed-after");
  EXPECT_TRUE(write.ok);
  EXPECT_TRUE(write.left_keyring);
  EXPECT_FALSE(store.InKeyring());
  EXPECT_EQ(ReadSetting(old_path, kSettingPassword), "typed-after");
}

}  // namespace
}  // namespace fahuo
