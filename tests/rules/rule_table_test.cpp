#include "rules/rule_table.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <ostream>
#include <thread>

#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"
#include "test_support.h"

namespace fahuo {

// Readable failures: rules as text, not bytes.
void PrintTo(const DeliveryRule& rule, std::ostream* os) {
  *os << "{" << rule.minimum << ", " << rule.maximum << ", \"" << GbkToUtf8(rule.subject)
      << "\", \"" << GbkToUtf8(rule.body) << "\"}";
}

namespace {

namespace fs = std::filesystem;

DeliveryRule Rule(float minimum, float maximum, const char* subject, const char* body) {
  return {minimum, maximum, Utf8ToGbk(subject), Utf8ToGbk(body)};
}

const std::vector<DeliveryRule>& OldRules() {
  static const std::vector<DeliveryRule> rules = {
      Rule(98, 98, "泡妞教程", "下载地址：甲"),
      Rule(150, 250, "网赚教程", "第一行\n第二行"),
  };
  return rules;
}

class RuleTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramFolder(dir_.path());
    ReplaceRules({});
  }
  std::vector<DeliveryRule> Listed() const { return *CurrentRules(); }

  testing::TempDir dir_;
};

TEST_F(RuleTableTest, SaveThenReadKeepsOrderAndPublishesList) {
  std::string failure;
  ASSERT_TRUE(SaveRuleTable(OldRules(), &failure)) << GbkToUtf8(failure);
  EXPECT_EQ(ReadRuleTable(RuleTablePath()), OldRules());
  EXPECT_EQ(Listed(), OldRules());
  EXPECT_FALSE(fs::exists(RuleTableScratchPath(RuleTablePath())));
}

TEST_F(RuleTableTest, SaveReplacesEarlierRules) {
  ASSERT_TRUE(SaveRuleTable(OldRules(), nullptr));
  const std::vector<DeliveryRule> fresh = {Rule(1, 2, "新", "新内容")};
  ASSERT_TRUE(SaveRuleTable(fresh, nullptr));
  EXPECT_EQ(ReadRuleTable(RuleTablePath()), fresh);
  EXPECT_EQ(Listed(), fresh);
}

TEST_F(RuleTableTest, SaveOfEmptyListWritesEmptyTable) {
  ASSERT_TRUE(SaveRuleTable(OldRules(), nullptr));
  ASSERT_TRUE(SaveRuleTable({}, nullptr));
  auto stored = ReadRuleTable(RuleTablePath());
  ASSERT_TRUE(stored.has_value());
  EXPECT_TRUE(stored->empty());
  EXPECT_TRUE(Listed().empty());
}

TEST_F(RuleTableTest, LongTextsAreKeptWhole) {
  // The window limits characters, not bytes: 512 GBK characters are 1024 bytes.
  std::string body;
  for (int i = 0; i < 512; ++i) body += "字";
  const std::vector<DeliveryRule> rules = {Rule(1, 1, std::string(100, 'x').c_str(), body.c_str())};
  ASSERT_TRUE(SaveRuleTable(rules, nullptr));
  EXPECT_EQ(ReadRuleTable(RuleTablePath()), rules);
}

TEST_F(RuleTableTest, LoadRuleListReadsTableInOrder) {
  ASSERT_TRUE(WriteRuleTable(RuleTablePath(), OldRules(), nullptr));
  EXPECT_TRUE(Listed().empty());
  EXPECT_TRUE(LoadRuleList());
  EXPECT_EQ(Listed(), OldRules());
}

TEST_F(RuleTableTest, LoadFailureLeavesListUntouched) {
  struct Case {
    const char* name;
    void (*prepare)(const std::string& path);
  };
  const Case cases[] = {
      {"Missing", [](const std::string&) {}},
      {"NotATable",
       [](const std::string& path) { testing::WriteFileBytes(path, "not a table at all"); }},
      {"OtherFields",
       [](const std::string& path) { RecordTable::CreateEmpty(path, BillTableFields()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(RuleTablePath());
    ReplaceRules(OldRules());
    c.prepare(RuleTablePath());
    EXPECT_FALSE(LoadRuleList());
    EXPECT_FALSE(ReadRuleTable(RuleTablePath()).has_value());
    EXPECT_EQ(Listed(), OldRules());
  }
}

// A save that cannot complete must leave the seller's rules where they were, on disk and in
// memory, and say why.
TEST_F(RuleTableTest, FailedSaveKeepsPreviousRules) {
  struct Case {
    const char* name;
    bool old_table_on_disk;
    void (*obstruct)(const std::string& dir);
  };
  const Case cases[] = {
      {"ScratchPlaceTaken", true,
       [](const std::string&) {
         // A non-empty folder where the new table would be built cannot be replaced.
         fs::create_directories(RuleTableScratchPath(RuleTablePath()) + "/occupied");
       }},
      {"TablePathIsFolder", false,
       [](const std::string&) { fs::create_directories(RuleTablePath() + "/occupied"); }},
      {"FolderGone", false,
       [](const std::string& dir) { SetProgramFolder(dir + "/no/such/folder"); }},
  };
  const std::vector<DeliveryRule> fresh = {Rule(5, 6, "新", "新内容")};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetProgramFolder(dir_.path());
    fs::remove_all(RuleTablePath());
    fs::remove_all(RuleTableScratchPath(RuleTablePath()));
    if (c.old_table_on_disk) {
      ASSERT_TRUE(WriteRuleTable(RuleTablePath(), OldRules(), nullptr));
    }
    ReplaceRules(OldRules());
    c.obstruct(dir_.path());

    std::string failure;
    EXPECT_FALSE(SaveRuleTable(fresh, &failure));
    EXPECT_EQ(GbkToUtf8(failure), "写出数据库失败");
    EXPECT_EQ(Listed(), OldRules());
    if (c.old_table_on_disk) {
      EXPECT_EQ(ReadRuleTable(RuleTablePath()), OldRules());
    }
  }
}

TEST_F(RuleTableTest, FailedSaveAsUnprivilegedUserInReadOnlyFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_TRUE(SaveRuleTable(OldRules(), nullptr));
  fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
  std::string failure;
  EXPECT_FALSE(SaveRuleTable({Rule(5, 6, "新", "新内容")}, &failure));
  fs::permissions(dir_.path(), fs::perms::owner_all);
  EXPECT_EQ(GbkToUtf8(failure), "写出数据库失败");
  EXPECT_EQ(ReadRuleTable(RuleTablePath()), OldRules());
  EXPECT_EQ(Listed(), OldRules());
}

// The disk fills up while the new table is being written: the old table must survive. The
// file-size limit stands in for a full disk; it is set in a child process so that nothing
// else of the test run is limited.
TEST_F(RuleTableTest, SaveThatRunsOutOfSpaceKeepsPreviousTable) {
  ASSERT_TRUE(SaveRuleTable(OldRules(), nullptr));
  std::vector<DeliveryRule> fresh;
  for (int i = 0; i < 64; ++i) fresh.push_back(Rule(i, i, "标题", std::string(1024, 'x').c_str()));

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 32 * 1024;  // room for an empty table, not for 64 KiB of rules
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string failure;
    if (SaveRuleTable(fresh, &failure)) _exit(1);
    if (GbkToUtf8(failure) != "写出数据库失败") _exit(2);
    if (*CurrentRules() != OldRules()) _exit(3);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved anyway, 2: wrong message, 3: list changed";
  EXPECT_EQ(ReadRuleTable(RuleTablePath()), OldRules());
  EXPECT_FALSE(fs::exists(RuleTableScratchPath(RuleTablePath())));
}

// A delivery pass walks one snapshot while the seller saves: it must see the old list or
// the new one, whole, never a mixture or a half-filled list. Run under ThreadSanitizer too.
TEST_F(RuleTableTest, ReaderSeesWholeListsWhileSaving) {
  std::vector<DeliveryRule> big;
  for (int i = 0; i < 50; ++i) big.push_back(Rule(i, i + 1, "B", "b"));
  const std::vector<DeliveryRule> small = {Rule(1, 1, "S", "s")};
  ReplaceRules(small);

  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<long> walks{0};
  std::thread reader([&] {
    while (!stop.load()) {
      RuleListSnapshot rules = CurrentRules();
      std::vector<DeliveryRule> walked;
      for (const DeliveryRule& rule : *rules) walked.push_back(rule);
      if (walked != small && walked != big) ++torn;
      ++walks;
    }
  });
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(SaveRuleTable(i % 2 ? small : big, nullptr));
    ASSERT_TRUE(LoadRuleList());
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(walks.load(), 0);
}

}  // namespace
}  // namespace fahuo
