// fahuo-cli report, run as a program on a ledger a running fahuo holds open.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

LedgerEntry Bill(const char* serial, const char* date, const char* amount, const char* status,
                 BillState state, const char* rule = "", int64_t first_seen = 0,
                 int64_t sent_at = 0) {
  LedgerEntry e;
  e.bill.流水号 = serial;
  e.bill.日期 = date;
  e.bill.金额 = amount;
  e.bill.状态 = Utf8ToGbk(status);
  e.state = state;
  e.rule_subject = Utf8ToGbk(rule);
  e.first_seen = first_seen;
  e.sent_at = sent_at;
  return e;
}

TEST(ReportCliTest, CountsThePaymentsByTheDayThePageShows) {
  TempDir dir;
  Ledger ledger;  // held open, as by a running fahuo
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  std::vector<LedgerEntry> bills = {
      Bill("C1", "2026.11.28 23:59", "+ 1.00", "交易成功", BillState::kBaseline),
      Bill("A1", "2026.11.29 09:10", "+ 10.00", "交易成功", BillState::kSent, "月卡", 1000, 1030),
      Bill("A2", "2026-11-30 10:00:00", "20.50", "交易成功", BillState::kSent, "月卡", 2000, 2090),
      Bill("X3", "2026.11.30 11:00", "+ 9.00", "退款成功", BillState::kNotPaid),
      Bill("A3", "2026.12.01 23:59:59", "+ 5.25", "交易成功", BillState::kBaseline),
      Bill("A4", "2026.12.01 12:00", "+ 7.00", "交易成功", BillState::kFailed),
      Bill("U1", "2026.12.01 12:30", "+ 4.00", "处理中", BillState::kUnconfirmed),
      Bill("X1", "2026.12.01 13:00", "- 3.00", "交易成功", BillState::kOutgoing),
      Bill("X2", "2026.12.01 14:00", "+ 8.00", "交易关闭", BillState::kNotPaid),
      Bill("B1", "2026.12.02 00:00", "+ 100.00", "交易成功", BillState::kSent, "季,卡", 3000, 3005),
  };
  ASSERT_TRUE(ledger.Insert(bills));

  const std::string head = "期间,收款笔数,收款金额,已发货,需要处理,付款到发信中位秒数\n";
  const std::string period = " --from 2026-11-29 --to 2026-12-01";
  const struct {
    std::string args;
    std::string out;
  } cases[] = {
      {period + " --by week", head + "2026-W48,1,10.00,1,0,30\n2026-W49,3,32.75,1,2,90\n"},
      {period,
       head + "2026-11-29,1,10.00,1,0,30\n2026-11-30,1,20.50,1,0,90\n2026-12-01,2,12.25,0,2,\n"},
      {" --by month", head + "2026-11,3,31.50,2,0,30\n2026-12,3,112.25,1,2,5\n"},
      {" --by rule",
       "商品,收款笔数,收款金额,已发货,需要处理,付款到发信中位秒数\n"
       "\"季,卡\",1,100.00,1,0,5\n月卡,2,30.50,2,0,30\n未匹配规则,3,13.25,0,2,\n"},
      {" --from 2026-12-01 --to 2026-12-01 --by hour",
       head +
           [] {
             std::string rows;
             for (int h = 0; h < 24; ++h) {
               const std::string hh = (h < 10 ? "0" : "") + std::to_string(h);
               rows += hh + (h == 12   ? ",1,7.00,0,2,\n"
                             : h == 23 ? ",1,5.25,0,0,\n"
                                       : ",0,0.00,0,0,\n");
             }
             return rows;
           }()},
      {" --from 2027-01-01", head},  // after the last payment: no day at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string command = Quoted(BinaryDir() + "/bin/fahuo-cli") + " report --data-dir " +
                                Quoted(dir.path()) + c.args + " >" + Quoted(dir.File("out"));
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("out")), c.out);
  }

  // Failures: exit 2 and one line saying why.
  for (const std::string& args : std::vector<std::string>{
           " --from 2026-02-30", " --from 2026-12-02 --to 2026-12-01", " --by year", " --to",
           std::string(" --data-dir ") + Quoted(dir.File("none"))}) {
    SCOPED_TRACE(args);
    const std::string command = Quoted(BinaryDir() + "/bin/fahuo-cli") + " report --data-dir " +
                                Quoted(dir.path()) + args + " >/dev/null 2>" +
                                Quoted(dir.File("err"));
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    const std::string err = ReadFileBytes(dir.File("err"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

}  // namespace
}  // namespace fahuo::testing
