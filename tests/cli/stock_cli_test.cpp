// fahuo-cli stock, run as a program on the ledger a running fahuo holds open.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ledger/ledger.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

CliRun Cli(const TempDir& dir, const std::string& args) {
  const std::string command = Quoted(BinaryDir() + "/bin/fahuo-cli") + " stock " + args + " >" +
                              Quoted(dir.File("out")) + " 2>" + Quoted(dir.File("err"));
  const int status = std::system(command.c_str());
  CliRun run;
  if (status != -1 && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  run.out = ReadFileBytes(dir.File("out"));
  run.err = ReadFileBytes(dir.File("err"));
  return run;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(StockCliTest, AddsCodesToTheLedgerAFahuoHoldsAndItsWaitingBillBecomesDue) {
  TempDir dir;
  const std::string data = Quoted(dir.path());
  // What a running fahuo holds: the ledger open, a bill waiting for the stock 会员.
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  std::vector<LedgerEntry> bills(1);
  bills[0].bill.流水号 = "W1";
  bills[0].state = BillState::kOutOfStock;
  bills[0].skip_reason = Utf8ToGbk("会员");
  bills[0].recipient = "w@x.com";
  ASSERT_TRUE(ledger.Insert(bills));
  EXPECT_TRUE(ledger.Due(0).empty());

  Write(dir.File("codes.txt"), Utf8ToGbk("  甲-1\r\n甲-2\r\n\r\n甲-1\r\n"));
  CliRun run = Cli(dir, "add --data-dir " + data + " 会员 " + Quoted(dir.File("codes.txt")));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "导入 2 个，重复 1 个已跳过\n");
  ASSERT_EQ(ledger.Due(0).size(), 1u);  // seen by the holder at its next delivery
  EXPECT_EQ(ledger.AvailableCodes(Utf8ToGbk("会员")),
            (std::vector<std::string>{Utf8ToGbk("甲-1"), Utf8ToGbk("甲-2")}));

  Write(dir.File("codes.csv"), "\xEF\xBB\xBFn,code\n1,B-1\n2,\"B-2\"\n");
  run = Cli(dir, "add --data-dir " + data + " --column 2 游戏 " + Quoted(dir.File("codes.csv")));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "导入 3 个\n");  // the header's "code" is a code too
  EXPECT_EQ(Cli(dir, "low --data-dir " + data + " 游戏 1 7").exit_code, 0);
  run = Cli(dir, "list --data-dir " + data);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "库存\t可用\t已发\t提醒阈值\t提醒天数\t可用天数\n会员\t2\t0\t5\t3\t-\n"
            "游戏\t3\t0\t1\t7\t-\n");

  // Failures: exit 2 and one line saying why; nothing written.
  for (const std::string& args :
       {"add --data-dir " + data + " 会员 " + Quoted(dir.File("missing.txt")),
        "add " + std::string("会员 ") + Quoted(dir.File("codes.txt")),
        "add --data-dir " + data + " {坏} " + Quoted(dir.File("codes.txt")),
        "add --data-dir " + Quoted(dir.File("no-folder")) + " 会员 " +
            Quoted(dir.File("codes.txt")),
        "low --data-dir " + data + " 会员 many", std::string("frobnicate")}) {
    SCOPED_TRACE(args);
    run = Cli(dir, args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(run.err.empty());
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), args == "frobnicate" ? 3 : 1);
  }
  EXPECT_EQ(ledger.Stocks().size(), 2u);
}

}  // namespace
}  // namespace fahuo::testing
