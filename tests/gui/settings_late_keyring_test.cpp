// A keyring that answers late: the password typed while it is silent (its bus takes the
// call and never answers, so the time limit ends it) is kept in Peizhi.ini only until the
// keyring answers, then moves there; the window never waits for it. Its own executable:
// one session bus a process.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <cstdlib>

#include "app/core/activity_log.h"
#include "app/core/password_store.h"
#include "app/core/settings.h"
#include "app/settings_binder.h"
#include "platform/gbk.h"
#include "private_keyring.h"
#include "test_support.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

TEST(SettingsKeyring, APasswordTypedWhileTheKeyringIsSilentMovesThereOnceItAnswers) {
  testing::TempDir dir;
  testing::SilentSocket silent(dir.File("bus"));
  ASSERT_TRUE(silent.listening());
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.File("bus")).c_str(), 1);
  const std::string path = dir.File("Peizhi.ini");
  const std::string typed = Utf8ToGbk("授权码1");
  QLineEdit server, account, password, interval;
  ActivityLog log;
  KeyringPasswordStore passwords;
  SettingsBinder binder({&server, &account, &password, &interval}, path, log);
  binder.UsePasswordStore(passwords);
  binder.AskKeyringAgainAfter(std::chrono::milliseconds(100));

  const auto start = std::chrono::steady_clock::now();
  binder.Load();
  password.setText(FromGbk(typed));
  emit password.editingFinished();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(QTest::qWaitFor([&] { return ReadSetting(path, kSettingPassword) == typed; }, 10000));
  EXPECT_TRUE(password.toolTip().contains(QStringLiteral("Peizhi.ini中")));

  // The keyring comes up where the silent bus was: the environment stays as it was set
  // before any thread, since the binder's worker reads it.
  silent.Close();
  testing::PrivateKeyring keyring(dir.File("bus"));
  ASSERT_PRIVATE_KEYRING(keyring);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ReadSetting(path, kSettingPassword).empty(); }, 20000));
  EXPECT_TRUE(password.toolTip().contains(QStringLiteral("系统密钥环中")));
  EXPECT_EQ(FromGbk(log.Text()).count(QStringLiteral("邮箱密码已从Peizhi.ini移入系统密钥环")), 1);
  EXPECT_EQ(password.text(), FromGbk(typed));  // the late start-up read never overwrote it
  EXPECT_EQ(KeyringPasswordStore().Read(path), typed);
}

}  // namespace
}  // namespace fahuo
