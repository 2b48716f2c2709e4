#include "rules/rule_entry.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "platform/gbk.h"

namespace fahuo {
namespace {

TEST(AmountTextTest, FromTextNarrowsToFloatAndNeverOverflows) {
  struct Case {
    const char* text;
    float expected;
    bool number;  // what the rules window accepts as typed
  } cases[] = {{"98", 98.0f, true},      {"0.1", 0.1f, true},        {" +7 ", 7.0f, true},
               {"98元", 98.0f, false},   {"", 0.0f, false},          {"abc", 0.0f, false},
               {"nan", 0.0f, false},     {"inf", FLT_MAX, false},    {"1e300", FLT_MAX, true},
               {"1e999", FLT_MAX, true}, {"-1e300", -FLT_MAX, true}, {"1e-999", 0.0f, true},
               {"9 8", 9.0f, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(AmountFromText(Utf8ToGbk(c.text)), c.expected) << c.text;
    EXPECT_EQ(IsAmountText(Utf8ToGbk(c.text)), c.number) << c.text;
  }
}

TEST(AmountTextTest, ToTextIsShortestAndReadsBack) {
  EXPECT_EQ(AmountToText(98.0f), "98");
  EXPECT_EQ(AmountToText(-0.0f), "0");
  for (float f : {0.1f, 19.99f, 98.5f, FLT_MAX, 1e-30f}) {
    EXPECT_EQ(AmountFromText(AmountToText(f)), f) << AmountToText(f);
  }
}

TEST(RuleEntryProblemTest, RangeThenSubjectThenBody) {
  struct Case {
    const char* name;
    float minimum, maximum;
    const char *subject, *body, *problem;
  } cases[] = {
      {"EqualBoundsAccepted", 98, 98, "标题", "内容", ""},
      {"BadRangeShownAlone", 100, 98, "", "", "金额设置错误"},
      {"SubjectBeforeBody", 1, 2, "", "", "邮件标题不可以为空"},
      {"EmptyBody", 1, 2, "标题", "", "邮件内容不可为空"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        GbkToUtf8(RuleEntryProblem(c.minimum, c.maximum, Utf8ToGbk(c.subject), Utf8ToGbk(c.body))),
        c.problem)
        << c.name;
  }
}

}  // namespace
}  // namespace fahuo
