#include "rules/rule_table.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <limits>
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

DeliveryRule Rule(float minimum, float maximum, const std::string& subject, const char* body) {
  return {minimum, maximum, Utf8ToGbk(subject), Utf8ToGbk(body)};
}

const std::vector<DeliveryRule> kOld = {Rule(98, 98, "泡妞教程", "下载地址：甲"),
                                        Rule(150, 250, "网赚教程", "第一行\n第二行")};

class RuleTableTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  RuleBook book_;
  const std::string table_ = RuleTablePath(DataFolder(dir_.path()));
};

TEST_F(RuleTableTest, SaveAndLoadKeepOrder) {
  std::string failure;
  ASSERT_TRUE(SaveRuleTable(table_, book_, kOld, &failure)) << GbkToUtf8(failure);
  EXPECT_EQ(*book_.Current(), kOld);
  EXPECT_FALSE(fs::exists(RuleTableScratchPath(table_)));

  book_.Replace({});
  EXPECT_TRUE(LoadRuleList(table_, book_));
  EXPECT_EQ(*book_.Current(), kOld);
}

TEST_F(RuleTableTest, LoadFailureLeavesListUntouched) {
  book_.Replace(kOld);
  EXPECT_FALSE(LoadRuleList(table_, book_));  // no table yet
  ASSERT_TRUE(RecordTable::CreateEmpty(table_, BillTableFields()));
  EXPECT_FALSE(LoadRuleList(table_, book_));  // a table of other fields
  EXPECT_EQ(*book_.Current(), kOld);
}

// A table that is there but does not read is told apart from no table, and a save that is
// told to keep it renames it aside (with the time) instead of replacing it.
TEST_F(RuleTableTest, UnreadableTableIsKeptAsideBySave) {
  using Status = RuleTableRead::Status;
  std::vector<DeliveryRule> many(300, Rule(1, 2, std::string(2000, 'x'), "b"));
  struct Case {
    const char* name;
    std::function<void()> damage;
  } cases[] = {
      {"NotADatabase", [this] { testing::WriteFileBytes(table_, "garbage\n"); }},
      {"CutShort",
       [&] {
         ASSERT_TRUE(WriteRuleTable(table_, many, nullptr));
         fs::resize_file(table_, fs::file_size(table_) / 2);
       }},
      {"AFolder", [this] { fs::create_directories(table_ + "/x"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(table_);
    EXPECT_EQ(ReadRuleTable(table_, kMaxRules).status, Status::kMissing);
    c.damage();
    EXPECT_EQ(ReadRuleTable(table_, kMaxRules).status, Status::kUnreadable);
    EXPECT_FALSE(LoadRuleList(table_, book_));
    const std::string damaged = testing::ReadFileBytes(table_);
    std::string kept_as;
    ASSERT_TRUE(SaveRuleTable(table_, book_, kOld, nullptr, &kept_as));
    EXPECT_NE(kept_as.find("Yjgz.edb.kept-"), std::string::npos) << kept_as;
    EXPECT_EQ(testing::ReadFileBytes(kept_as), damaged);
    EXPECT_EQ(ReadRuleTable(table_), kOld);
    fs::remove_all(kept_as);
  }
}

TEST_F(RuleTableTest, LoadTakesAtMostTheLimitAndSaysSo) {
  std::vector<DeliveryRule> rules(kMaxRules + 1, Rule(1, 2, "s", "b"));
  rules.back() = Rule(3, 4, "last", "b");
  ASSERT_TRUE(WriteRuleTable(table_, rules, nullptr));
  std::string notice;
  ASSERT_TRUE(LoadRuleList(table_, book_, &notice));
  EXPECT_EQ(book_.Current()->size(), kMaxRules);
  EXPECT_EQ(GbkToUtf8(notice), "规则表有 10001 条规则，只使用前 10000 条");
  rules.pop_back();
  ASSERT_TRUE(WriteRuleTable(table_, rules, nullptr));
  ASSERT_TRUE(LoadRuleList(table_, book_, &notice));
  EXPECT_EQ(notice, "");
}

// A bound a damaged table holds that is no finite number would match every amount.
TEST_F(RuleTableTest, LoadRefusesARuleWhoseBoundIsNoNumberAndSaysWhichRow) {
  const float inf = std::numeric_limits<float>::infinity();
  ASSERT_TRUE(WriteRuleTable(
      table_, {kOld[0], Rule(-inf, inf, "坏", "b"), kOld[1], Rule(1, inf, "坏", "b")}, nullptr));
  std::string notice;
  ASSERT_TRUE(LoadRuleList(table_, book_, &notice));
  EXPECT_EQ(*book_.Current(), kOld);
  EXPECT_EQ(GbkToUtf8(notice), "规则表第 2、4 条规则的金额不是有效数字，未使用");
}

// A save that cannot complete must leave the seller's rules where they were, on disk and in
// memory, and say why.
TEST_F(RuleTableTest, FailedSaveKeepsPreviousRules) {
  struct Case {
    const char* name;
    std::string obstruction;  // a non-empty folder made here
    std::string folder;       // the data folder during the save
  } cases[] = {
      {"ScratchPlaceTaken", RuleTableScratchPath(table_) + "/x", dir_.path()},
      {"FolderGone", "", dir_.File("no/such/folder")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SaveRuleTable(table_, book_, kOld, nullptr));
    if (!c.obstruction.empty()) fs::create_directories(c.obstruction);
    std::string failure;
    EXPECT_FALSE(SaveRuleTable(RuleTablePath(DataFolder(c.folder)), book_,
                               {Rule(5, 6, "新", "新内容")}, &failure));
    EXPECT_EQ(GbkToUtf8(failure), "写出数据库失败");
    EXPECT_EQ(*book_.Current(), kOld);
    EXPECT_EQ(ReadRuleTable(dir_.File("Yjgz.edb")), kOld);
    if (!c.obstruction.empty()) fs::remove_all(RuleTableScratchPath(dir_.File("Yjgz.edb")));
  }
}

// The disk fills up while the new table is being written (a file-size limit, set in a child
// so that nothing else is limited): the old table must survive.
TEST_F(RuleTableTest, SaveThatRunsOutOfSpaceKeepsPreviousTable) {
  ASSERT_TRUE(SaveRuleTable(table_, book_, kOld, nullptr));
  std::vector<DeliveryRule> fresh(64, Rule(1, 1, std::string(1024, 'x'), "body"));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 32 * 1024;  // room for an empty table, not for 64 KiB of rules
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string failure;
    if (SaveRuleTable(table_, book_, fresh, &failure)) _exit(1);
    if (GbkToUtf8(failure) != "写出数据库失败") _exit(2);
    _exit(*book_.Current() == kOld ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved anyway, 2: wrong message, 3: list changed";
  EXPECT_EQ(ReadRuleTable(table_), kOld);
  EXPECT_FALSE(fs::exists(RuleTableScratchPath(table_)));
}

// A delivery pass walks one snapshot while the seller saves: it must see the old list or
// the new one, whole. Run under ThreadSanitizer too.
TEST_F(RuleTableTest, ReaderSeesWholeListsWhileSaving) {
  const std::vector<DeliveryRule> big(50, Rule(1, 2, "B", "b"));
  const std::vector<DeliveryRule> small = {Rule(1, 1, "S", "s")};
  book_.Replace(small);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop.load()) {
      std::vector<DeliveryRule> walked;
      RuleListSnapshot rules = book_.Current();  // held: the list lives as long as this
      for (const DeliveryRule& rule : *rules) walked.push_back(rule);
      if (walked != small && walked != big) ++torn;
    }
  });
  for (int i = 0; i < 40; ++i) {
    if (!SaveRuleTable(table_, book_, i % 2 ? small : big, nullptr) ||
        !LoadRuleList(table_, book_)) {
      ADD_FAILURE() << "save or load failed";
      break;
    }
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace fahuo
