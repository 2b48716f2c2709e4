#include "platform/regex.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace fahuo {
namespace {

using Views = std::vector<std::string_view>;

std::vector<std::string> Texts(const Views& views) { return {views.begin(), views.end()}; }

struct FindCase {
  const char* name;
  const Regex& (*pattern)();
  std::string text;
  std::vector<std::string> want;
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindAllTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindAllTest, FindsTheExpectedMatches) {
  const FindCase& c = GetParam();
  EXPECT_EQ(Texts(c.pattern().FindAll(c.text)), c.want);
}

const FindCase kFindCases[] = {
    {"RowsInOrder", RowPattern, "<tr>a</tr><tr>b</tr>", {"<tr>a</tr>", "<tr>b</tr>"}},
    {"RowIsLazyNearestEnd", RowPattern, "<tr>a</tr>b</tr>", {"<tr>a</tr>"}},
    {"RowSpansCrLf", RowPattern, "<tr>\r\n<td>x</td>\r\n</tr>", {"<tr>\r\n<td>x</td>\r\n</tr>"}},
    {"RowUpperAndMixedCase", RowPattern, "<TR>a</TR><Tr>b</tR>", {"<TR>a</TR>", "<Tr>b</tR>"}},
    {"RowNeedsEndAfterItsStart", RowPattern, "<tr>", {}},
    {"RowStartWithoutEndFindsNothing", RowPattern, "<tr <tr <tr", {}},
    {"EndOfAnOpeningTagClosesTheRow", RowPattern, "<tr x <tr>y</tr>", {"<tr x <tr>"}},
    {"CellsNonOverlapping", CellPattern, "<td>1</td><td>2</td>", {"<td>1</td>", "<td>2</td>"}},
    {"HeaderCellsAreNoCells", CellPattern, "<th>1</th><th>2</th>", {}},
    {"HighBytesStayBytes", CellPattern, "<td>\xB6\xA9\xB5\xA5</td>", {"<td>\xB6\xA9\xB5\xA5</td>"}},
    {"NulBytesAreText",
     CellPattern,
     std::string("<td>\0</td>", 10),
     {std::string("<td>\0</td>", 10)}},
    {"AnchorSpansLines", AnchorPattern, "<a\nhref=x>n</a>", {"<a\nhref=x>n</a>"}},
    {"DigitRunsOfFourToEleven", DigitPattern, "qq 123 4567 123456789012x", {"4567", "12345678901"}},
    {"DigitIgnoresFullWidthDigits", DigitPattern, "\xA3\xB1\xA3\xB2\xA3\xB3\xA3\xB4", {}},
    {"EmptyText", RowPattern, "", {}},
};

INSTANTIATE_TEST_SUITE_P(Patterns, FindAllTest, ::testing::ValuesIn(kFindCases),
                         [](const auto& c) { return std::string(c.param.name); });

// Matches are found from the pattern's leading plain text where it has one; these patterns
// start in ways that such a shortcut could get wrong.
struct PatternCase {
  const char* name;
  const char* pattern;
  bool case_insensitive;
  std::string text;
  std::vector<std::string> want;
};

void PrintTo(const PatternCase& c, std::ostream* os) { *os << c.name; }

class PatternStartTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternStartTest, FindsTheExpectedMatches) {
  const PatternCase& c = GetParam();
  const Regex regex(c.pattern, {.case_insensitive = c.case_insensitive});
  ASSERT_TRUE(regex.ok());
  EXPECT_EQ(Texts(regex.FindAll(c.text)), c.want);
}

const PatternCase kPatternCases[] = {
    {"QuantifiedLastLetter", "ab*c", false, "ac abbc", {"ac", "abbc"}},
    {"OptionalLastLetter", "abc?", false, "ab abc", {"ab", "abc"}},
    {"Alternation", "ab|cd", false, "cd ab", {"cd", "ab"}},
    {"Group", "(ab)+x", false, "ababx", {"ababx"}},
    {"FoldedLetterStart", "tr>", true, "tR> TR> tr", {"tR>", "TR>"}},
    {"FirstStartFailsLaterOneMatches", "<a\\d", false, "<ax <a1", {"<a1"}},
    {"OverlappingStarts", "aab", false, "aaab", {"aab"}},
    {"CaseSensitiveLiteral", "Ab", false, "ab Ab AB", {"Ab"}},
    {"DotStopsAtLineBreakByDefault", "a.b", false, "a\nb a-b", {"a-b"}},
};

INSTANTIATE_TEST_SUITE_P(Patterns, PatternStartTest, ::testing::ValuesIn(kPatternCases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(RegexTest, MatchesAreViewsIntoTheText) {
  const std::string text = "x<td>a</td>y";
  const Views found = CellPattern().FindAll(text);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].data(), text.data() + 1);
}

TEST(RegexTest, LimitStopsEarly) {
  EXPECT_EQ(CellPattern().FindAll("<td></td><td></td><td></td>", 2).size(), 2u);
}

TEST(RegexTest, EmptyMatchesStepForward) { EXPECT_EQ(Regex("x*", {}).FindAll("ab").size(), 3u); }

TEST(RegexTest, InvalidPatternFindsNothing) {
  const Regex broken("(", {});
  EXPECT_FALSE(broken.ok());
  EXPECT_TRUE(broken.FindAll("((").empty());
}

}  // namespace
}  // namespace fahuo
