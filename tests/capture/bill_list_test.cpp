#include "capture/bill_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace fahuo {
namespace {

BillRecord Bill(const std::string& serial) {
  BillRecord b;
  b.流水号 = serial;
  b.金额 = "98.00";
  return b;
}

TEST(BillList, NewBillsGoToTheFrontOfAllAndTheBackOfNew) {
  BillList all, fresh;
  all.AppendAll({Bill("old1"), Bill("old2")});
  for (const char* s : {"A", "B", "C"}) {
    fresh.Append(Bill(s));
    all.PushFront(Bill(s));
  }
  auto a = all.Snapshot();
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0].流水号, "C");
  EXPECT_EQ(a[1].流水号, "B");
  EXPECT_EQ(a[2].流水号, "A");
  EXPECT_EQ(a[3].流水号, "old1");
  EXPECT_EQ(all.At(1).流水号, "C");
  EXPECT_EQ(all.At(5).流水号, "old2");
  EXPECT_EQ(all.At(0), BillRecord{});
  EXPECT_EQ(all.At(6), BillRecord{});
  auto n = fresh.Snapshot();
  ASSERT_EQ(n.size(), 3u);
  EXPECT_EQ(n[0].流水号, "A");
  EXPECT_EQ(n[2].流水号, "C");
}

TEST(BillList, SerialLookupIsExactAndCountsDuplicatesAndEmptySerials) {
  BillList all;
  EXPECT_FALSE(all.ContainsSerial(""));
  all.Append(Bill("2015010621001004"));
  all.Append(Bill("2015010621001004"));  // a bill seen on two pages stays twice
  all.Append(Bill(""));
  EXPECT_EQ(all.Count(), 3u);
  EXPECT_TRUE(all.ContainsSerial("2015010621001004"));
  EXPECT_FALSE(all.ContainsSerial("2015010621001004 "));
  EXPECT_FALSE(all.ContainsSerial("201501062100100"));
  EXPECT_TRUE(all.ContainsSerial(""));
}

// Writers append and insert while readers snapshot and look up; run under ThreadSanitizer.
TEST(BillList, ConcurrentWritersAndReadersSeeConsistentLists) {
  BillList list;
  std::atomic<bool> done{false};
  std::thread front([&] {
    for (int i = 0; i < 2000; ++i) list.PushFront(Bill("f" + std::to_string(i)));
  });
  std::thread back([&] {
    for (int i = 0; i < 200; ++i) {
      std::vector<BillRecord> page;
      for (int j = 0; j < 10; ++j) page.push_back(Bill("b" + std::to_string(i * 10 + j)));
      list.AppendAll(page);
    }
  });
  std::thread reader([&] {
    while (!done) {
      auto snap = list.Snapshot();
      // A page is appended whole: back-appended serials come in runs of ten.
      size_t backs = 0;
      for (const auto& b : snap) backs += b.流水号[0] == 'b';
      EXPECT_EQ(backs % 10, 0u);
      list.ContainsSerial("f5");
    }
  });
  front.join();
  back.join();
  done = true;
  reader.join();
  EXPECT_EQ(list.Count(), 4000u);
  EXPECT_TRUE(list.ContainsSerial("f1999"));
  EXPECT_TRUE(list.ContainsSerial("b1999"));
}

}  // namespace
}  // namespace fahuo
