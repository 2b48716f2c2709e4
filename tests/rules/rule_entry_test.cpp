#include "rules/rule_entry.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

#include "platform/gbk.h"

namespace fahuo {
namespace {

struct AmountCase {
  const char* name;
  const char* text;
  float expected;
};

class AmountFromTextTest : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountFromTextTest, Converts) {
  EXPECT_EQ(AmountFromText(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AmountFromTextTest,
    ::testing::Values(
        AmountCase{"Whole", "98", 98.0f}, AmountCase{"Fraction", "98.5", 98.5f},
        AmountCase{"NarrowedToFloat", "0.1", 0.1f}, AmountCase{"LeadingBlanks", "  12", 12.0f},
        AmountCase{"PlusSign", "+7", 7.0f}, AmountCase{"Negative", "-3", -3.0f},
        AmountCase{"TrailingText", "98元", 98.0f}, AmountCase{"Empty", "", 0.0f},
        AmountCase{"NotANumber", "abc", 0.0f}, AmountCase{"LoneSign", "+", 0.0f},
        AmountCase{"NaN", "nan", 0.0f}, AmountCase{"HugeHeldAtFloatMax", "1e300", FLT_MAX},
        AmountCase{"HugeBeyondDouble", "1e999", FLT_MAX},
        AmountCase{"HugeNegative", "-1e300", -FLT_MAX}, AmountCase{"Infinity", "inf", FLT_MAX},
        AmountCase{"TinyIsZero", "1e-999", 0.0f}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AmountToTextTest, ShortestTextThatReadsBack) {
  EXPECT_EQ(AmountToText(98.0f), "98");
  EXPECT_EQ(AmountToText(98.5f), "98.5");
  EXPECT_EQ(AmountToText(0.1f), "0.1");
  EXPECT_EQ(AmountToText(-0.0f), "0");
  for (float f : {0.1f, 19.99f, 1234567.9f, FLT_MAX, -FLT_MAX, 1e-30f}) {
    EXPECT_EQ(AmountFromText(AmountToText(f)), f) << AmountToText(f);
  }
}

struct EntryCase {
  const char* name;
  float minimum;
  float maximum;
  const char* subject;
  const char* body;
  const char* problem;  // UTF-8; empty when accepted
};

class RuleEntryProblemTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(RuleEntryProblemTest, ReportsFirstProblem) {
  const EntryCase& c = GetParam();
  EXPECT_EQ(
      GbkToUtf8(RuleEntryProblem(c.minimum, c.maximum, Utf8ToGbk(c.subject), Utf8ToGbk(c.body))),
      c.problem);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuleEntryProblemTest,
    ::testing::Values(EntryCase{"EqualBoundsAccepted", 98, 98, "标题", "内容", ""},
                      EntryCase{"WideRangeAccepted", 90, 100, "标题", "内容", ""},
                      EntryCase{"MaximumBelowMinimum", 100, 98, "标题", "内容", "金额设置错误"},
                      EntryCase{"BadRangeShownAlone", 100, 98, "", "", "金额设置错误"},
                      EntryCase{"SubjectBeforeBody", 1, 2, "", "", "邮件标题不可以为空"},
                      EntryCase{"EmptyBody", 1, 2, "标题", "", "邮件内容不可为空"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fahuo
