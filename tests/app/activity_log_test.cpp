#include "app/core/activity_log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace fahuo {
namespace {

TEST(ActivityLog, KeepsEveryEntryInOrderAndFeedsTheSinkInTheSameOrder) {
  ActivityLog log;
  std::vector<std::string> seen;
  log.SetSink([&](const std::string& e) { seen.push_back(e); });
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&log, t] {
      for (int i = 0; i < 500; ++i)
        log.Append(std::to_string(t) + ":" + std::to_string(i) + "\r\n");
    });
  }
  for (auto& w : writers) w.join();
  std::string joined;
  for (const auto& e : seen) joined += e;
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_EQ(joined, log.Text());  // the box shows exactly the log, in the log's order
  // Each writer's own entries keep their order.
  for (int t = 0; t < 4; ++t) {
    size_t pos = 0;
    for (int i = 0; i < 500; ++i) {
      size_t next = joined.find(std::to_string(t) + ":" + std::to_string(i) + "\r\n", pos);
      ASSERT_NE(next, std::string::npos);
      pos = next + 1;
    }
  }
}

TEST(ActivityLog, WorksWithoutASink) {
  ActivityLog log;
  log.Append("a\r\n");
  log.Append("b\r\n");
  EXPECT_EQ(log.Text(), "a\r\nb\r\n");
}

}  // namespace
}  // namespace fahuo
