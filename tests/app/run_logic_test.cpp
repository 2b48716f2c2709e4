#include "app/core/run_logic.h"

#include <gtest/gtest.h>

namespace fahuo {
namespace {

TEST(RunLogic, IntervalTextGivesItsLeadingNumber) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {
      {"6000", 6000},   {"1000", 1000},   {"60000", 60000}, {"", 0},    {"abc", 0},
      {"1500ms", 1500}, {"2000.9", 2000}, {" 3000", 3000},  {"-5", -5}, {"99999999999", INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInterval(c.text), c.value) << c.text;
}

TEST(RunLogic, PaceIsAWholeNumberUpToAThousandElseNone) {
  EXPECT_EQ(ParsePace("10"), 10);
  EXPECT_EQ(ParsePace(" 0 "), 0);
  EXPECT_EQ(ParsePace("1000"), 1000);
  for (const char* bad : {"", "  ", "abc", "-5", "1001", "6.5", "10/min", "99999"}) {
    EXPECT_EQ(ParsePace(bad), std::nullopt) << bad;
  }
}

TEST(RunLogic, ElapsedCaptionPadsEachPartAndLetsHoursGrow) {
  EXPECT_EQ(ElapsedCaption(0), "已经运行:00:00:00");
  EXPECT_EQ(ElapsedCaption(3723), "已经运行:01:02:03");
  EXPECT_EQ(ElapsedCaption(59), "已经运行:00:00:59");
  EXPECT_EQ(ElapsedCaption(360000), "已经运行:100:00:00");
}

TEST(RunLogic, KeepAliveNeedsStrictlyMoreThanAMinute) {
  EXPECT_FALSE(KeepAliveDue(160000, 100000));
  EXPECT_TRUE(KeepAliveDue(160001, 100000));
}

}  // namespace
}  // namespace fahuo
