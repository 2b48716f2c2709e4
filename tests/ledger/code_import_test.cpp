// Reading the codes of an import: encodings, blanks, columns, and what is refused.
#include "ledger/code_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ledger/ledger.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

TEST(CodeImportTest, ReadsEveryEncodingAndShapeASellerHas) {
  struct Case {
    const char* what;
    std::string bytes;
    int column;
    std::vector<std::string> want;  // UTF-8
    bool utf8;
  };
  const std::string gbk = Utf8ToGbk("会员卡-甲\r\n  会员卡-乙  \r\n");
  const Case cases[] = {
      {"UTF-8, LF, blanks and blank lines dropped",
       "  A-1 \n\n\tA-2\t\n   \nA-3",
       0,
       {"A-1", "A-2", "A-3"},
       true},
      {"UTF-8 with a BOM and CR LF", "\xEF\xBB\xBF卡一\r\n卡二\r\n", 0, {"卡一", "卡二"}, true},
      {"GBK detected", gbk, 0, {"会员卡-甲", "会员卡-乙"}, false},
      {"old Mac line ends", "x\ry\r", 0, {"x", "y"}, true},
      {"repeats are kept for the ledger to count", "d\nd\nd", 0, {"d", "d", "d"}, true},
      {"a CSV column, quoted or not; short lines dropped",
       "name,code\n1, C-1 ,x\n2,\"C,2\"\"\"\n3\n4,,y\n",
       2,
       {"code", "C-1", "C,2\""},
       true},
      {"a GBK CSV column", Utf8ToGbk("甲,号一\n乙,\"号二\"\n"), 2, {"号一", "号二"}, false},
      {"nothing at all", "", 0, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CodeFile file = ReadCodeFile(c.bytes, c.column);
    ASSERT_TRUE(file.ok) << file.error;
    std::vector<std::string> got;
    for (const std::string& code : file.codes) got.push_back(GbkToUtf8(code));
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(file.was_utf8, c.utf8);
  }
}

TEST(CodeImportTest, RefusesWhatIsNoCodeAndNeverHangs) {
  // UTF-16 (NUL bytes) is refused whole rather than read as garbage codes.
  EXPECT_FALSE(ReadCodeFile(std::string("a\0b\0", 4)).ok);
  const CodeFile long_line = ReadCodeFile(std::string(kMaxCodeBytes + 1, 'x') + "\nok\n");
  ASSERT_TRUE(long_line.ok);
  EXPECT_EQ(long_line.codes, std::vector<std::string>{"ok"});
  EXPECT_EQ(long_line.too_long, 1u);
  // An unclosed quote, lone high bytes, a truncated UTF-8 sequence: read, never a crash.
  EXPECT_TRUE(ReadCodeFile("\"open,\n\x81\n\xE4\xBD", 1).ok);
  EXPECT_EQ(ImportSummary(980, 20, 0), "导入 980 个，重复 20 个已跳过");
  EXPECT_EQ(ImportSummary(3, 0, 2), "导入 3 个，过长 2 行未导入");
}

// Whatever the seller picks in the file box: a FIFO is refused at once (nobody writes to it),
// a huge file without being read.
TEST(CodeImportTest, OnlyARegularFileOfAtMost64MbIsRead) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("codes.txt"), "K-1\nK-2\n"));
  EXPECT_EQ(ReadCodeFileAt(dir.File("codes.txt")).codes, (std::vector<std::string>{"K-1", "K-2"}));
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  const CodeFile fifo = ReadCodeFileAt(dir.File("fifo"));
  EXPECT_FALSE(fifo.ok);
  EXPECT_EQ(fifo.error, "只能导入普通文件（文本或 CSV）");
  ASSERT_TRUE(WriteFileBytes(dir.File("big"), ""));
  std::filesystem::resize_file(dir.File("big"), kMaxCodeFileBytes + 1);
  EXPECT_EQ(ReadCodeFileAt(dir.File("big")).error, "文件超过 64 MB");
  EXPECT_EQ(ReadCodeFileAt(dir.File("none")).error, "文件不存在");
}

// A 100,000-line file into a stock, and again: every code once, the second time all repeats.
TEST(CodeImportTest, HundredThousandCodesIntoAStockOnceEach) {
  std::string bytes;
  for (int i = 0; i < 100000; ++i) bytes += "CODE-" + std::to_string(i) + "\r\n";
  const CodeFile file = ReadCodeFile(bytes);
  ASSERT_EQ(file.codes.size(), 100000u);
  TempDir dir;
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  const Ledger::AddResult first = ledger.AddCodes("s", file.codes);
  EXPECT_EQ(first.added, 100000u);
  const Ledger::AddResult again = ledger.AddCodes("s", file.codes);
  EXPECT_EQ(again.added, 0u);
  EXPECT_EQ(again.duplicates, 100000u);
  // The same code in another stock is another code.
  EXPECT_EQ(ledger.AddCodes("t", {"CODE-1"}).added, 1u);
}

}  // namespace
}  // namespace fahuo::testing
