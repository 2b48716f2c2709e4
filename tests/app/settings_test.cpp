#include "app/core/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::TempDir;

TEST(Settings, MissingFileSectionOrKeyGivesTheDefaults) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.qq.com");
  EXPECT_EQ(ReadSetting(path, kSettingAccount), Utf8ToGbk("邮箱账号"));
  EXPECT_EQ(ReadSetting(path, kSettingPassword), "");
  EXPECT_EQ(ReadSetting(path, kSettingInterval), "2000");
  ASSERT_TRUE(testing::WriteFileBytes(path, "[other]\nIP=x\n"));
  EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.qq.com");
}

TEST(Settings, EveryValueIsReadBackUnchangedAndTheOthersAreKept) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  const std::string account = Utf8ToGbk("卖家 <shop@example.com>");
  const std::string password = "  pa;ss=word#1 \"quoted\" ";
  ASSERT_TRUE(WriteSetting(path, kSettingServer, "smtp.example.com:465"));
  ASSERT_TRUE(WriteSetting(path, kSettingAccount, account));
  ASSERT_TRUE(WriteSetting(path, kSettingPassword, password));
  ASSERT_TRUE(WriteSetting(path, kSettingInterval, "500abc"));  // saved unvalidated
  ASSERT_TRUE(WriteSetting(path, kSettingServer, "smtp.qq.com"));
  EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.qq.com");
  EXPECT_EQ(ReadSetting(path, kSettingAccount), account);
  EXPECT_EQ(ReadSetting(path, kSettingInterval), "500abc");
  EXPECT_EQ(ReadSetting(path, kSettingPassword), password);
  // The file is GBK text with the section and keys as written.
  const std::string bytes = testing::ReadFileBytes(path);
  EXPECT_NE(bytes.find(Utf8ToGbk("[支付宝自助]")), std::string::npos);
  EXPECT_NE(bytes.find(Utf8ToGbk("定时")), std::string::npos);
  // It holds a password: owner only.
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Settings, EveryTypedValueReadsBackByteForByte) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  const std::string values[] = {"abc",
                                "",
                                "\"abc\"",
                                "\"",
                                "\"\"",
                                "\"abc",
                                "abc\"",
                                " \"abc\" ",
                                "  lead",
                                "trail  ",
                                "\ttab\t",
                                "a=b;c",
                                ";semi",
                                "#hash",
                                "=eq",
                                "[x]",
                                "<<<END",
                                "\"a\" = \"b\"",
                                Utf8ToGbk("\"密码\"")};
  for (const std::string& value : values) {
    SCOPED_TRACE("[" + value + "]");
    ASSERT_TRUE(WriteSetting(path, kSettingPassword, value));
    EXPECT_EQ(ReadSetting(path, kSettingPassword), value);
    // ... also after a write of another key kept it.
    ASSERT_TRUE(WriteSetting(path, kSettingServer, value));
    EXPECT_EQ(ReadSetting(path, kSettingPassword), value);
    EXPECT_EQ(ReadSetting(path, kSettingServer), value);
  }
  // An ordinary value stays a plain "key = value" line for older readers of the file.
  ASSERT_TRUE(WriteSetting(path, kSettingPassword, "abc"));
  EXPECT_NE(testing::ReadFileBytes(path).find(Utf8ToGbk("连接码 = abc\n")), std::string::npos);
}

TEST(Settings, AWriteOfOneSectionKeepsTheOtherByteForByte) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  // Written by hand or by a script, in its own spelling.
  const std::string panel =
      Utf8ToGbk("[支付宝自助]\r\nIP=smtp.163.com\r\n端口=a@163.com\r\n定时=3000\r\n");
  const std::string alerts =
      Utf8ToGbk("[提醒]\r\n; 发到手机\r\n邮箱=me@example.com\r\n网址 =  http://127.0.0.1/x \r\n");
  ASSERT_TRUE(testing::WriteFileBytes(path, panel + "\r\n" + alerts));
  EXPECT_EQ(ReadSetting(path, kAlertMail), "me@example.com");
  EXPECT_EQ(ReadSetting(path, kAlertWebhook), "http://127.0.0.1/x");
  EXPECT_FALSE(ReadSettingIfPresent(path, kAlertSummary));

  ASSERT_TRUE(WriteSetting(path, kSettingInterval, "5000"));
  std::string file = testing::ReadFileBytes(path);
  EXPECT_NE(file.find(alerts), std::string::npos) << file;
  EXPECT_EQ(ReadSetting(path, kSettingInterval), "5000");
  EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.163.com");

  ASSERT_TRUE(WriteSetting(path, kAlertSummary, "21:30"));
  ASSERT_TRUE(WriteSetting(path, kAlertMail, ""));
  file = testing::ReadFileBytes(path);
  const std::string panel_now = file.substr(0, file.find(Utf8ToGbk("[提醒]")));
  EXPECT_EQ(ReadSetting(path, kSettingInterval), "5000");
  EXPECT_EQ(ReadSettingIfPresent(path, kAlertMail), std::optional<std::string>(""));
  EXPECT_EQ(ReadSetting(path, kAlertSummary), "21:30");
  EXPECT_EQ(ReadSetting(path, kAlertWebhook), "http://127.0.0.1/x");
  // Another write of [提醒] leaves the panel's section exactly as the last write made it.
  ASSERT_TRUE(WriteSetting(path, kAlertWebhook, ""));
  EXPECT_EQ(testing::ReadFileBytes(path).substr(0, panel_now.size()), panel_now);

  // A file with only the panel's section gets [提醒] appended.
  const std::string only = dir.File("only.ini");
  ASSERT_TRUE(testing::WriteFileBytes(only, panel));
  ASSERT_TRUE(WriteSetting(only, kAlertMail, "x@example.com"));
  EXPECT_EQ(testing::ReadFileBytes(only).substr(0, panel.size()), panel);
  EXPECT_EQ(ReadSetting(only, kAlertMail), "x@example.com");
  EXPECT_EQ(ReadSetting(only, kSettingServer), "smtp.163.com");
}

TEST(Settings, ALineBreakCannotAddAKeyToTheFile) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  ASSERT_TRUE(WriteSetting(path, kSettingAccount, "a\r\nIP=evil.example"));
  EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.qq.com");
}

TEST(Settings, UnwritableFolderFailsWithoutThrowingAndGarbageFileReadsAsDefaults) {
  TempDir dir;
  ASSERT_TRUE(testing::WriteFileBytes(dir.File("file"), "x"));
  EXPECT_FALSE(WriteSetting(dir.File("file") + "/Peizhi.ini", kSettingServer, "a"));
  ASSERT_TRUE(testing::WriteFileBytes(dir.File("Peizhi.ini"), std::string("\0\xff\xfe[[[=\n", 9)));
  EXPECT_EQ(ReadSetting(dir.File("Peizhi.ini"), kSettingInterval), "2000");
}

struct UnreadableCase {
  const char* name;
  std::function<bool(const std::string& path)> make;
};

TEST(Settings, AnUnreadableFileIsKeptAsideNeverWrittenOver) {
  const UnreadableCase cases[] = {
      {"too large",
       [](const std::string& p) {
         return testing::WriteFileBytes(p, "[x]\n" + std::string(2 << 20, 'a'));
       }},
      // A FIFO would hang a blocking open for ever.
      {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }},
      {"folder", [](const std::string& p) { return std::filesystem::create_directory(p); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("Peizhi.ini");
    ASSERT_TRUE(c.make(path));
    EXPECT_EQ(ReadSetting(path, kSettingServer), "smtp.qq.com");
    std::string kept_as;
    ASSERT_TRUE(WriteSetting(path, kSettingPassword, "pw", &kept_as));
    EXPECT_EQ(kept_as.rfind(path + ".unreadable-", 0), 0u) << kept_as;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(kept_as)));
    EXPECT_EQ(ReadSetting(path, kSettingPassword), "pw");
    // The next write finds a readable file and moves nothing.
    kept_as.clear();
    ASSERT_TRUE(WriteSetting(path, kSettingServer, "smtp.example.com", &kept_as));
    EXPECT_EQ(kept_as, "");
    EXPECT_EQ(ReadSetting(path, kSettingPassword), "pw");
  }
}

TEST(Settings, OnlyOurOwnLeftoverTemporariesAreRemoved) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  const std::string ours[] = {"Peizhi.ini.tmp-0badf00d", "Peizhi.ini.tmp-12345678"};
  const std::string others[] = {"Peizhi.ini",
                                "Peizhi.ini.tmp-1234567",
                                "Peizhi.ini.tmp-123456789",
                                "Peizhi.ini.tmp-ABCDEF12",
                                "Yjgz.edb.tmp-12345678",
                                "Peizhi.ini.unreadable-20240101-120000"};
  for (const auto& name : ours) ASSERT_TRUE(testing::WriteFileBytes(dir.File(name), "secret"));
  for (const auto& name : others) ASSERT_TRUE(testing::WriteFileBytes(dir.File(name), "keep"));
  EXPECT_EQ(RemoveLeftoverTemporaries(path), 2);
  for (const auto& name : ours) EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  for (const auto& name : others) EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
}

}  // namespace
}  // namespace fahuo
