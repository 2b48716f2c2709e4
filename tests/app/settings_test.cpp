#include "app/core/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(Settings, PasswordWithSurroundingBlanksSurvives) {
  TempDir dir;
  const std::string path = dir.File("Peizhi.ini");
  ASSERT_TRUE(WriteSetting(path, kSettingPassword, "abc"));
  EXPECT_EQ(ReadSetting(path, kSettingPassword), "abc");
  ASSERT_TRUE(WriteSetting(path, kSettingPassword, ""));
  EXPECT_EQ(ReadSetting(path, kSettingPassword), "");
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

}  // namespace
}  // namespace fahuo
