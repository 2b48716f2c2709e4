#include "platform/record_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::TempDir;

TEST(RecordTable, RuleTableRoundTripKeepsOrderFloatsAndWholeText) {
  TempDir dir;
  const std::string path = dir.File("Yjgz.edb");
  ASSERT_TRUE(RecordTable::CreateEmpty(path, RuleTableFields()));
  const std::string long_body(2000, 'x');  // wider than the field: kept whole
  const std::string gbk_subject = Utf8ToGbk("泡妞教程");
  {
    RecordTable t;
    ASSERT_TRUE(t.Open(path, &RuleTableFields()));
    EXPECT_EQ(t.RecordCount(), 0);
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(t.AppendEmpty());
      EXPECT_TRUE(t.WriteFloat("最小金额", 0.1f * static_cast<float>(i)));
      EXPECT_TRUE(t.WriteFloat("最大金额", 98.7f));
      EXPECT_TRUE(t.WriteText("邮件标题", gbk_subject + std::to_string(i)));
      EXPECT_TRUE(t.WriteText("邮件内容", i == 2 ? long_body : std::string("\0a\r\n", 4)));
    }
    EXPECT_TRUE(t.Close());
  }
  RecordTable t;
  ASSERT_TRUE(t.Open(path, &RuleTableFields()));
  ASSERT_EQ(t.RecordCount(), 3);
  t.GoFirst();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(t.ReadFloat("最小金额"), 0.1f * static_cast<float>(i));
    EXPECT_EQ(t.ReadFloat("最大金额"), 98.7f);
    EXPECT_EQ(t.ReadText("邮件标题"), gbk_subject + std::to_string(i));
    EXPECT_EQ(t.ReadText("邮件内容"), i == 2 ? long_body : std::string("\0a\r\n", 4));
    t.Skip();
  }
  // Past the end: empty values, no crash.
  EXPECT_EQ(t.ReadText("邮件标题"), "");
  EXPECT_EQ(t.ReadFloat("最小金额"), 0);
}

TEST(RecordTable, BillTableHasItsFieldsAndAnAppendedRecordStartsEmpty) {
  TempDir dir;
  const std::string path = dir.File("zhifubaoZD.edb");
  ASSERT_TRUE(RecordTable::CreateEmpty(path, BillTableFields()));
  RecordTable t;
  ASSERT_TRUE(t.Open(path, &BillTableFields(), "zhifubaoZD"));
  EXPECT_EQ(t.Alias(), "zhifubaoZD");
  ASSERT_TRUE(t.AppendEmpty());
  EXPECT_EQ(t.ReadText("流水号"), "");
  EXPECT_FALSE(t.ReadBool("是否提交"));
  EXPECT_TRUE(t.WriteBool("是否提交", true));
  EXPECT_TRUE(t.ReadBool("是否提交"));
  // The other list is not this table.
  RecordTable other;
  EXPECT_FALSE(other.Open(path, &RuleTableFields()));
}

TEST(RecordTable, CreateReplacesAnExistingTableAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("Yjgz.edb");
  ASSERT_TRUE(RecordTable::CreateEmpty(path, RuleTableFields()));
  {
    RecordTable t;
    ASSERT_TRUE(t.Open(path, &RuleTableFields()));
    t.AppendEmpty();
    t.Close();
  }
  ASSERT_TRUE(testing::WriteFileBytes(dir.File("junk"), "x"));
  ASSERT_TRUE(RecordTable::CreateEmpty(path, RuleTableFields()));
  RecordTable t;
  ASSERT_TRUE(t.Open(path, &RuleTableFields()));
  EXPECT_EQ(t.RecordCount(), 0);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 2);  // the table and "junk"
}

TEST(RecordTable, OpenRefusesMissingCorruptForeignAndMismatchedFiles) {
  TempDir dir;
  RecordTable t;
  EXPECT_FALSE(t.Open(dir.File("missing.edb")));

  ASSERT_TRUE(testing::WriteFileBytes(dir.File("corrupt.edb"), std::string(5000, '\x7f')));
  EXPECT_FALSE(t.Open(dir.File("corrupt.edb"), &RuleTableFields()));

  ASSERT_TRUE(testing::WriteFileBytes(dir.File("empty.edb"), ""));
  EXPECT_FALSE(t.Open(dir.File("empty.edb"), &RuleTableFields()));

  // A valid SQLite file that is not one of our tables.
  const std::string foreign = dir.File("foreign.edb");
  ASSERT_EQ(std::system(("sqlite3 '" + foreign +
                         "' 'CREATE TABLE t(a)' 2>/dev/null || "
                         "printf 'SQLite format 3\\0' > '" +
                         foreign + "'")
                            .c_str()),
            0);
  EXPECT_FALSE(t.Open(foreign, &RuleTableFields()));

  EXPECT_FALSE(t.Open(dir.path(), &RuleTableFields()));  // a folder
  EXPECT_FALSE(t.IsOpen());
}

TEST(RecordTable, CreateFailsInAnUnwritableFolderWithoutTouchingTheOldFile) {
  if (geteuid() == 0) {
    // root ignores permission bits; use a path whose parent is a file instead.
    TempDir dir;
    ASSERT_TRUE(testing::WriteFileBytes(dir.File("file"), "x"));
    EXPECT_FALSE(RecordTable::CreateEmpty(dir.File("file") + "/Yjgz.edb", RuleTableFields()));
    return;
  }
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  EXPECT_FALSE(RecordTable::CreateEmpty(dir.File("Yjgz.edb"), RuleTableFields()));
}

}  // namespace
}  // namespace fahuo
