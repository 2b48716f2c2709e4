#include "ledger/amount.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "platform/gbk.h"
#include "rules/rule_entry.h"

namespace fahuo {
namespace {

struct ValueCase {
  const char* name;
  const char* utf8_text;
  std::optional<float> expected;  // nothing: no amount can be read
};

class AmountValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(AmountValueTest, ReadsTheNumberAPersonReads) {
  const std::string text = Utf8ToGbk(GetParam().utf8_text);
  EXPECT_EQ(ReadAmount(text), GetParam().expected) << GetParam().utf8_text;
  EXPECT_EQ(AmountValue(text), GetParam().expected.value_or(0.0f));
  const std::optional<float> yuan = GetParam().expected;
  EXPECT_EQ(ReadAmountFen(text),
            yuan ? std::optional<int64_t>(std::llround(*yuan * 100)) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AmountValueTest,
    ::testing::Values(
        ValueCase{"Signed", "+ 98.00", 98.0f}, ValueCase{"Plain", "98", 98.0f},
        ValueCase{"Thousands", "1,160.00", 1160.0f}, ValueCase{"FullWidthYuan", "￥98.00", 98.0f},
        // U+00A5 is a four-byte GB18030 character with digit bytes in it.
        ValueCase{"YenSign", "¥98.00", 98.0f}, ValueCase{"Fraction", "98.5", 98.5f},
        ValueCase{"NoLeadingDigit", ".5", 0.5f}, ValueCase{"Expense", "- 98.00", -98.0f},
        ValueCase{"ExpenseWithYuan", "-￥12.50", -12.5f},
        ValueCase{"HyphenNotASign", "a-b 7", 7.0f}, ValueCase{"TrailingWords", "98.00元", 98.0f},
        ValueCase{"TrailingComma", "98,", 98.0f}, ValueCase{"TrailingPoint", "98.", 98.0f},
        ValueCase{"SecondPoint", "1.2.3", std::nullopt},
        ValueCase{"CommaAfterPoint", "1.5,6", std::nullopt},
        ValueCase{"Hexadecimal", "0x10", std::nullopt}, ValueCase{"Exponent", "1e5", std::nullopt},
        ValueCase{"NotANumber", "NaN", std::nullopt}, ValueCase{"Empty", "", std::nullopt},
        ValueCase{"NoNumber", "免费", std::nullopt}, ValueCase{"OnlySign", "+", std::nullopt},
        ValueCase{"OnlyPoint", ".", std::nullopt}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(AmountValueTest, HugeLongAndOddInputs) {
  EXPECT_EQ(AmountValue(std::string(5000, '9')), HUGE_VALF);
  EXPECT_EQ(AmountValue("1" + std::string(40, '0')), HUGE_VALF);  // a double, not a float
  EXPECT_EQ(AmountValue("0." + std::string(5000, '0') + "1"), 0.0f);
  std::string odd;
  for (int c = 0; c < 256; ++c) odd.push_back(static_cast<char>(c));
  EXPECT_EQ(AmountValue(odd), 123456789.0f);
  EXPECT_EQ(ReadAmount("\x81"), std::nullopt);  // a lone lead byte at the end
  // Fen: half up at the third decimal, and no wrap-round past what an int64 holds.
  EXPECT_EQ(ReadAmountFen("0.005"), 1);
  EXPECT_EQ(ReadAmountFen("0.0049"), 0);
  EXPECT_EQ(ReadAmountFen("-1,234.565"), -123457);
  EXPECT_EQ(ReadAmountFen(std::string(5000, '9')), std::nullopt);
  EXPECT_EQ(ReadAmountFen("000000000000000000012.34"), 1234);
}

TEST(AmountTextTest, PlainDecimalThatReadsBackTheSameFloat) {
  struct Case {
    float value;
    const char* expected;
  };
  for (const Case& c : {Case{98.0f, "98"}, Case{98.5f, "98.5"}, Case{0.1f, "0.1"},
                        Case{1160.0f, "1160"}, Case{0.0f, "0"}, Case{-0.0f, "0"},
                        Case{-98.0f, "-98"}, Case{1e10f, "10000000000"}, Case{0.0001f, "0.0001"}}) {
    EXPECT_EQ(AmountToText(c.value), c.expected) << c.value;
  }
}

}  // namespace
}  // namespace fahuo
