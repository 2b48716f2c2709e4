// The ledger's filtered listing: what the delivery record shows and exports.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>

#include "ledger/ledger.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo::testing {
namespace {

struct Row {
  const char* serial;
  const char* name;  // UTF-8
  BillState state;
  int64_t first_seen;
  const char* recipient;
};

const Row kRows[] = {
    {"2024001", "QQ 12345", BillState::kSent, 1000, "12345@qq.com"},
    {"2024002", "打折50%", BillState::kBaseline, 1500, ""},
    {"2024003", "李四", BillState::kFailed, 2000, "li@example.com"},
    {"2024004", "a_b", BillState::kSkipped, 3000, ""},
    {"2024005", "李四的教程", BillState::kHeld, 4000, ""},
};

struct Case {
  const char* what;
  LedgerFilter filter;
  std::vector<std::string> serials;  // newest first
};

LedgerFilter Search(const std::string& utf8) {
  LedgerFilter f;
  f.search = Utf8ToGbk(utf8);
  return f;
}

TEST(LedgerQueryTest, FiltersCountAndPageNewestFirst) {
  TempDir dir;
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  std::vector<LedgerEntry> entries;
  for (const Row& r : kRows) {
    LedgerEntry e;
    e.bill.流水号 = r.serial;
    e.bill.名称 = Utf8ToGbk(r.name);
    e.state = r.state;
    e.first_seen = r.first_seen;
    e.recipient = r.recipient;
    std::vector<LedgerEntry> one{e};  // each found by a pass of its own
    ASSERT_TRUE(ledger.Insert(one));
  }

  LedgerFilter states;
  states.states = {BillState::kFailed, BillState::kSkipped};
  LedgerFilter dates;
  dates.seen_from = 2000;
  dates.seen_before = 4000;
  LedgerFilter combined = Search("李四");
  combined.states = {BillState::kHeld};
  const Case cases[] = {
      {"everything", {}, {"2024005", "2024004", "2024003", "2024002", "2024001"}},
      {"states", states, {"2024004", "2024003"}},
      {"date range, end excluded", dates, {"2024004", "2024003"}},
      {"GBK name", Search("李四"), {"2024005", "2024003"}},
      {"percent is a plain character", Search("%"), {"2024002"}},
      {"underscore is a plain character", Search("_"), {"2024004"}},
      {"recipient", Search("example.com"), {"2024003"}},
      {"serial", Search("024001"), {"2024001"}},
      {"nothing", Search("李五"), {}},
      {"state and search", combined, {"2024005"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ledger.Count(c.filter), c.serials.size());
    std::vector<std::string> got;
    for (const LedgerEntry& e : ledger.Page(c.filter, 0, 100)) got.push_back(e.bill.流水号);
    EXPECT_EQ(got, c.serials);
  }

  // Paging: by offset, and by key (the rows before the last one held).
  std::vector<std::string> got;
  for (const LedgerEntry& e : ledger.Page({}, 1, 2)) got.push_back(e.bill.流水号);
  EXPECT_EQ(got, (std::vector<std::string>{"2024004", "2024003"}));
  LedgerFilter below;
  below.below_seq = ledger.Find("2024003")->seq;
  got.clear();
  for (const LedgerEntry& e : ledger.Page(below, 0, 10)) got.push_back(e.bill.流水号);
  EXPECT_EQ(got, (std::vector<std::string>{"2024002", "2024001"}));
  EXPECT_EQ(ledger.Count(below), 5u);  // a count is of the whole listing

  // Bills found together are listed as the page showed them, the newest (top) first.
  std::vector<LedgerEntry> batch(2);
  batch[0].bill.流水号 = "top";
  batch[1].bill.流水号 = "below";
  batch[0].first_seen = batch[1].first_seen = 5000;
  ASSERT_TRUE(ledger.Insert(batch));
  got.clear();
  for (const LedgerEntry& e : ledger.Page({}, 0, 3)) got.push_back(e.bill.流水号);
  EXPECT_EQ(got, (std::vector<std::string>{"top", "below", "2024005"}));
}

// A ledger of the first version (bills only) gains the stocks and the sending account, and
// keeps every bill.
TEST(LedgerQueryTest, FirstVersionLedgerKeepsItsBillsAndGainsStocks) {
  TempDir dir;
  const std::string path = dir.File("fahuo.db");
  {
    Ledger ledger;
    ASSERT_TRUE(ledger.Open(path, 0).ok);
    std::vector<LedgerEntry> entries;
    for (const Row& r : kRows) {
      LedgerEntry e;
      e.bill.流水号 = r.serial;
      e.bill.名称 = Utf8ToGbk(r.name);
      e.state = r.state;
      e.first_seen = r.first_seen;
      entries.push_back(e);
    }
    ASSERT_TRUE(ledger.Insert(entries));
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db,
                   "DROP TABLE codes; DROP TABLE stocks; ALTER TABLE bills DROP COLUMN sent_by;"
                   " ALTER TABLE bills DROP COLUMN message_id;"
                   " ALTER TABLE bills DROP COLUMN typed_recipient;"
                   " DROP INDEX bills_figures; DROP INDEX bills_paid_key;"
                   " ALTER TABLE bills DROP COLUMN resends;"
                   " ALTER TABLE bills DROP COLUMN paid_key; ALTER TABLE bills DROP COLUMN paid;"
                   " ALTER TABLE bills DROP COLUMN amount_fen;"
                   " PRAGMA user_version=1;",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);

  Ledger ledger;
  const Ledger::OpenResult opened = ledger.Open(path, 0);
  ASSERT_TRUE(opened.ok) << opened.error;
  EXPECT_TRUE(opened.moved_aside_to.empty());
  EXPECT_EQ(ledger.Count({}), std::size(kRows));
  for (const Row& r : kRows) {
    auto e = ledger.Find(r.serial);
    ASSERT_TRUE(e) << r.serial;
    EXPECT_EQ(e->state, r.state);
    EXPECT_EQ(GbkToUtf8(e->bill.名称), r.name);
  }
  EXPECT_TRUE(ledger.Stocks().empty());
  EXPECT_EQ(ledger.AddCodes("s", {"c"}).added, 1u);
  ASSERT_EQ(ledger.Stocks().size(), 1u);
  EXPECT_EQ(ledger.Stocks()[0].threshold, kDefaultLowStock);

  // The code given to a bill shows in the listing, and a search for it finds the bill.
  LedgerEntry sending = *ledger.Find("2024003");
  sending.state = BillState::kSending;
  const Ledger::Sending written = ledger.WriteSending(sending, nullptr, {"s"}, 5000);
  ASSERT_EQ(written.outcome, Ledger::Sending::Outcome::kWritten);
  ASSERT_EQ(written.codes.size(), 1u);
  EXPECT_EQ(written.codes[0].code, "c");
  LedgerFilter by_code;
  by_code.search = "c";
  const std::vector<LedgerEntry> found = ledger.Page(by_code, 0, 10);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].bill.流水号, "2024003");
  EXPECT_EQ(found[0].codes, "c");
  EXPECT_EQ(ledger.Count(by_code), 1u);
  // No second code of that stock for another bill, and nothing written for it.
  LedgerEntry other = *ledger.Find("2024001");
  other.state = BillState::kSending;
  const Ledger::Sending empty = ledger.WriteSending(other, nullptr, {"s"}, 5000);
  EXPECT_EQ(empty.outcome, Ledger::Sending::Outcome::kOutOfStock);
  EXPECT_EQ(empty.empty_stock, "s");
  EXPECT_EQ(ledger.Find("2024001")->state, BillState::kSent);

  // The account a bill went over is kept, and the upgraded file opens again as it is.
  sending.sent_by = "shop@example.com";
  ASSERT_TRUE(ledger.Update(sending));
  ledger.Close();
  ASSERT_TRUE(ledger.Open(path, 0).ok);
  EXPECT_EQ(ledger.Find("2024003")->sent_by, "shop@example.com");
  EXPECT_EQ(ledger.Find("2024001")->sent_by, "");
}

// A ledger of version 4 gains the payment's time, its amount in fen and whether it is a paid
// order for every row it holds, and the stocks' warning by days.
// A stock's pace: the codes given over the last 14 days, the days the rest last at it, and
// the warning when those are fewer than its low_days, told once until codes are added.
TEST(LedgerQueryTest, StockPaceGivesTheDaysLeftAndWarnsOnceBelowThem) {
  TempDir dir;
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  ASSERT_TRUE(
      ledger.AddCodes("s", {"k0", "k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8", "k9"}).ok);
  ASSERT_TRUE(ledger.SetLowStock("s", 0));  // only the days warn here
  ASSERT_TRUE(ledger.SetLowDays("s", 30));
  std::vector<LedgerEntry> bills(5);
  for (size_t i = 0; i < bills.size(); ++i) bills[i].bill.流水号 = "B" + std::to_string(i);
  ASSERT_TRUE(ledger.Insert(bills));
  constexpr int64_t kDay = 86400, kNow = 100 * kDay;
  // B0 three weeks ago is past the pace; then one a day: 8/1, 7/2 and 6/3 a fortnight.
  const int64_t given_at[] = {kNow - 21 * kDay, kNow - 3 * kDay, kNow - 2 * kDay, kNow - kDay,
                              kNow};
  std::vector<bool> warned;
  for (size_t i = 0; i < bills.size(); ++i) {
    LedgerEntry e = *ledger.Find(bills[i].bill.流水号);
    e.state = BillState::kSending;
    const Ledger::Sending w = ledger.WriteSending(e, nullptr, {"s"}, given_at[i]);
    ASSERT_EQ(w.outcome, Ledger::Sending::Outcome::kWritten);
    warned.push_back(!w.low_stocks.empty());
  }
  // 6 * 14 / 3 = 28 days < 30: told at B3, not again at B4.
  EXPECT_EQ(warned, (std::vector<bool>{false, false, false, true, false}));
  std::vector<StockSummary> stocks = ledger.Stocks(kNow);
  ASSERT_EQ(stocks.size(), 1u);
  EXPECT_EQ(stocks[0].available, 5u);
  EXPECT_EQ(stocks[0].given, 5u);
  EXPECT_EQ(stocks[0].given_recent, 4u);
  EXPECT_EQ(stocks[0].days_left, 5 * 14 / 4);
  EXPECT_EQ(stocks[0].low_days, 30);
  EXPECT_FALSE(ledger.Stocks(kNow + 30 * kDay)[0].days_left);  // nothing sold lately
  EXPECT_FALSE(ledger.Stocks()[0].days_left);
}

TEST(LedgerQueryTest, FourthVersionLedgerGainsTheFiguresOfItsRows) {
  TempDir dir;
  const std::string path = dir.File("fahuo.db");
  struct Old {
    const char* serial;
    const char* date;
    const char* amount;
    const char* status;  // UTF-8
    BillState state;
    int64_t paid_key, amount_fen, paid;
  };
  const Old rows[] = {
      {"a", "2026.12.09 10:23", "+12.50", "交易成功", BillState::kSent, 20261209102300, 1250, 1},
      {"b", "2026-11-30 23:59:58", "1,160.00", "交易成功", BillState::kBaseline, 20261130235958,
       116000, 1},
      {"c", "2026.12.01 08:00", "-3.00", "交易成功", BillState::kOutgoing, 20261201080000, -300, 0},
      {"d", "2026.12.01 08:00", "9.99", "交易关闭", BillState::kBaseline, 20261201080000, 999, 0},
      {"e", "昨天", "abc", "", BillState::kHeld, 0, 0, 1},
      // The time glued to the date, as some pages show it, and all in one run.
      {"f", "2026.12.0708:35", "+10.00", "交易成功", BillState::kSent, 20261207083500, 1000, 1},
      {"g", "20261209102345", "1", "交易成功", BillState::kSent, 20261209102345, 100, 1},
  };
  {
    Ledger ledger;
    ASSERT_TRUE(ledger.Open(path, 0).ok);
    ASSERT_TRUE(ledger.AddCodes("s", {"c1"}).ok);
    std::vector<LedgerEntry> entries;
    for (const Old& r : rows) {
      LedgerEntry e;
      e.bill.流水号 = r.serial;
      e.bill.日期 = Utf8ToGbk(r.date);
      e.bill.金额 = r.amount;
      e.bill.状态 = Utf8ToGbk(r.status);
      e.state = r.state;
      entries.push_back(e);
    }
    ASSERT_TRUE(ledger.Insert(entries));
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "ALTER TABLE bills DROP COLUMN typed_recipient;"
                         " DROP INDEX bills_figures; DROP INDEX bills_paid_key;"
                         " ALTER TABLE bills DROP COLUMN resends;"
                         " ALTER TABLE bills DROP COLUMN paid_key;"
                         " ALTER TABLE bills DROP COLUMN paid; ALTER TABLE bills DROP COLUMN"
                         " amount_fen; ALTER TABLE stocks DROP COLUMN low_days;"
                         " ALTER TABLE stocks DROP COLUMN days_noted; PRAGMA user_version=4;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  Ledger ledger;
  const Ledger::OpenResult opened = ledger.Open(path, 0);
  ASSERT_TRUE(opened.ok) << opened.error;
  EXPECT_EQ(ledger.Count({}), std::size(rows));
  EXPECT_EQ(ledger.Stocks().size(), 1u);
  // The paid orders of a day, in fen: outgoing and closed rows are no takings.
  EXPECT_EQ(ledger.PaidFen(20261130000000, 20261130235959), 116000);
  EXPECT_EQ(ledger.PaidFen(20261201000000, 20261201235959), 0);
  EXPECT_EQ(ledger.PaidFen(20261130000000, 20261209235959), 118350);
  ledger.Close();
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (const Old& r : rows) {
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT paid_key, amount_fen, paid FROM bills WHERE serial=?1;", -1,
                           &s, nullptr),
        SQLITE_OK);
    sqlite3_bind_blob(s, 1, r.serial, static_cast<int>(strlen(r.serial)), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW) << r.serial;
    EXPECT_EQ(sqlite3_column_int64(s, 0), r.paid_key) << r.serial;
    EXPECT_EQ(sqlite3_column_int64(s, 1), r.amount_fen) << r.serial;
    EXPECT_EQ(sqlite3_column_int64(s, 2), r.paid) << r.serial;
    sqlite3_finalize(s);
  }
  int64_t low_days = 0;
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT low_days FROM stocks;", -1, &s, nullptr), SQLITE_OK);
  if (sqlite3_step(s) == SQLITE_ROW) low_days = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  EXPECT_EQ(low_days, 3);
  sqlite3_close(db);
}

}  // namespace
}  // namespace fahuo::testing
