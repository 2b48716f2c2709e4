// fahuo killed with SIGKILL at random moments while it delivers, fifty times in a row and
// started again each time, against the real records service and SMTP server: no buyer is
// mailed twice, and every payment is mailed or, when the kill fell inside its send, shown
// as unknown. Every mail carries a code of a stock: no code is mailed or given twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <random>
#include <sstream>

#include "ledger/ledger.h"
#include "platform/http_client.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

std::string Trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

TEST(CrashTest, KillsAtRandomMomentsNeverMailTwiceAndLoseNothing) {
  ChildProcess records, smtp;
  TempDir mail, data;
  const int records_port = StartPythonService(records, "fake_records.py",
                                              {"--open", "--pages", "1", "--per-page", "10"});
  const int smtp_port = StartPythonService(smtp, "smtp_sink.py", {"--maildir", mail.path()});
  ASSERT_NE(records_port, 0);
  ASSERT_NE(smtp_port, 0);
  const std::string base = "http://127.0.0.1:" + std::to_string(records_port);
  const std::vector<std::string> child_argv = {BinaryDir() + "/tests/delivery/delivery_crash_child",
                                               data.path(), base,
                                               "127.0.0.1:" + std::to_string(smtp_port)};
  std::map<std::string, std::string> recipient_of;  // serial -> address
  std::mt19937 random(20261208);
  int paid = 0;
  for (int round = 0; round <= 50; ++round) {
    ChildProcess child;
    ASSERT_TRUE(child.Start(child_argv));
    ASSERT_FALSE(child.WaitForLine("READY", 30000).empty()) << "round " << round;
    if (round == 50) {
      usleep(3000 * 1000);  // the last run: time for everything waiting to go out
    } else {
      for (int k = 0; k < 2; ++k, ++paid) {
        const std::string to = "c" + std::to_string(paid) + "@example.com";
        const std::string serial =
            Trimmed(HttpClient().Get(base + "/_control/pay?amount=98.00&note=x&name=" + to));
        ASSERT_FALSE(serial.empty());
        recipient_of[serial] = to;
      }
      usleep(static_cast<useconds_t>(random() % 400000));
    }
    child.Kill();
  }

  std::map<std::string, int> mailed;
  std::map<std::string, std::string> code_mailed_to;  // code -> address
  std::istringstream log(ReadFileBytes(mail.File("log.jsonl")));
  for (std::string line; std::getline(log, line);) {
    size_t at = line.find("\"rcpt_tos\": [\"");
    ASSERT_NE(at, std::string::npos) << line;
    const std::string to = line.substr(at + 14, line.find('"', at + 14) - at - 14);
    ++mailed[to];
    const size_t code_at = line.find("CK-", line.find("\"body\""));
    ASSERT_NE(code_at, std::string::npos) << line;
    const std::string code = line.substr(code_at, line.find('.', code_at) + 1 - code_at);
    EXPECT_TRUE(code_mailed_to.emplace(code, to).second) << code << " mailed twice";
  }
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(data.File("fahuo.db"), 0).ok);
  int unknown = 0;
  for (const auto& [serial, to] : recipient_of) {
    SCOPED_TRACE(to);
    EXPECT_LE(mailed[to], 1);
    auto entry = ledger.Find(serial);
    ASSERT_TRUE(entry);
    // The code a buyer got is the one the ledger gave that bill, and the bill has no other.
    const std::vector<StockCode> codes = ledger.CodesOf(serial);
    EXPECT_LE(codes.size(), 1u);
    if (mailed[to] > 0) {
      ASSERT_EQ(codes.size(), 1u);
      EXPECT_EQ(code_mailed_to[codes[0].code], to);
    }
    if (mailed[to] == 0) {
      EXPECT_EQ(entry->state, BillState::kUnknown);
      ++unknown;
    } else {
      EXPECT_TRUE(entry->state == BillState::kSent || entry->state == BillState::kUnknown)
          << StateName(entry->state);
    }
  }
  EXPECT_EQ(recipient_of.size(), 100u);
  std::printf("100 payments, %d unknown after a kill inside their send\n", unknown);
}

}  // namespace
}  // namespace fahuo::testing
