// The password field over a real keyring: what the seller types is kept there, not in
// Peizhi.ini, and is back after a restart. Its own executable: one session bus a process.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "app/app_services.h"
#include "app/core/activity_log.h"
#include "app/core/password_store.h"
#include "app/core/settings.h"
#include "app/main_window.h"
#include "capture/bill_list.h"
#include "capture/records_address.h"
#include "controls.h"
#include "delivery/shop.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "private_keyring.h"
#include "scripted_dialogs.h"
#include "test_support.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

using testing::Control;

TEST(SettingsKeyring, AnOldPasswordMovesAtTheFirstChangeAndTheTypedOneComesBackFromTheKeyring) {
  testing::PrivateKeyring keyring;
  ASSERT_PRIVATE_KEYRING(keyring);
  testing::TempDir dir;
  ScriptedDialogs dialogs;
  ActivityLog log_box;
  const AppServices services{
      .dialogs = dialogs, .log = log_box, .data_folder = DataFolder(dir.path())};
  ShopOptions offline;
  offline.records_base = "http://127.0.0.1:9";  // nothing listens: no outside traffic
  ASSERT_TRUE(RecordTable::CreateEmpty(dir.File("zhifubaoZD.edb"), BillTableFields()));
  const std::string path = dir.File("Peizhi.ini");
  ASSERT_TRUE(WriteSetting(path, kSettingPassword, "old-secret"));
  {
    KeyringPasswordStore passwords;
    Shop shop(nullptr, offline);
    MainWindow w(shop, services);
    w.UsePasswordStore(passwords);
    auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
    ASSERT_TRUE(w.StartUp());
    EXPECT_EQ(编辑框_邮箱密码->text(), QStringLiteral("old-secret"));
    EXPECT_TRUE(编辑框_邮箱密码->toolTip().contains(QStringLiteral("Peizhi.ini中")));
    for (const char* typed : {"授", "授权", "授权码1"}) {
      编辑框_邮箱密码->setText(QString::fromUtf8(typed));
    }
    EXPECT_EQ(ReadSetting(path, kSettingPassword), "old-secret");  // nothing per keystroke
    emit 编辑框_邮箱密码->editingFinished();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return 编辑框_邮箱密码->toolTip().contains(QStringLiteral("系统密钥环中")); }, 5000));
  }
  const QString log = FromGbk(log_box.Text());
  EXPECT_EQ(log.count(QStringLiteral("邮箱密码已从Peizhi.ini移入系统密钥环")), 1)
      << log.toStdString();
  EXPECT_EQ(ReadSetting(path, kSettingPassword), "");
  EXPECT_EQ(testing::ReadFileBytes(path).find(Utf8ToGbk("授权码")), std::string::npos);

  KeyringPasswordStore passwords;
  Shop shop(nullptr, offline);
  MainWindow w(shop, services);
  w.UsePasswordStore(passwords);
  auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
  ASSERT_TRUE(w.StartUp());
  // The keyring answers on the binder's worker; the field fills when it has.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !编辑框_邮箱密码->text().isEmpty(); }, 5000));
  EXPECT_EQ(编辑框_邮箱密码->text(), QStringLiteral("授权码1"));
  EXPECT_TRUE(编辑框_邮箱密码->toolTip().contains(QStringLiteral("系统密钥环中")));
}

}  // namespace
}  // namespace fahuo
