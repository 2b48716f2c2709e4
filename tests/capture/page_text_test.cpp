#include "capture/page_text.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "platform/gbk.h"

namespace fahuo {
namespace {

using TextOperation = std::string (*)(std::string_view);

struct TextCase {
  const char* name;
  TextOperation operation;
  std::string in;
  std::string want;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class PageTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(PageTextTest, GivesTheExpectedText) {
  const TextCase& c = GetParam();
  EXPECT_EQ(c.operation(c.in), c.want);
}

std::string Bytes(std::string_view text) { return std::string(text); }

const TextCase kRemoveBlanks[] = {
    {"Empty", RemoveBlanks, "", ""},
    {"SpacesTabsAndNbsp", RemoveBlanks, "a b\tc&nbsp;d ", "abcd"},
    {"FullWidthSpace", RemoveBlanks,
     "a\xA1\xA1"
     "b",
     "ab"},
    {"A1A1AcrossCharacterBoundaryKept", RemoveBlanks, "\xB0\xA1\xA1\xB0", "\xB0\xA1\xA1\xB0"},
    {"FullWidthSpaceAfterHanzi", RemoveBlanks, "\xB0\xA1\xA1\xA1\xB0\xA1", "\xB0\xA1\xB0\xA1"},
    {"LeadByteAtTheEndKept", RemoveBlanks, "a \xA1", "a\xA1"},
    {"ByteAfterLeadByteIsItsTrail", RemoveBlanks, "\x81 x", "\x81 x"},
    {"TabGoesEvenAsTrailByte", RemoveBlanks, "\x81\tx \t", "\x81x"},
    {"NbspFormedByInnerDeletion", RemoveBlanks, "&nb&nbsp;sp;", ""},
    {"NbspFormedBySpaceDeletion", RemoveBlanks, "&nb sp;", ""},
    {"UpperCaseEntityKept", RemoveBlanks, "&NBSP;&Nbsp;", "&NBSP;&Nbsp;"},
    {"OtherEntitiesKept", RemoveBlanks, "&amp;&lt;&nbsp", "&amp;&lt;&nbsp"},
    {"LineBreaksKept", RemoveBlanks, "a\r\nb", "a\r\nb"},
    {"NulBytesKept", RemoveBlanks, Bytes({"a\0 b", 4}), Bytes({"a\0b", 3})},
};

const TextCase kRemoveLineBreaks[] = {
    {"Empty", RemoveLineBreaks, "", ""},
    {"CrLfRemoved", RemoveLineBreaks, "a\r\nb\r\n", "ab"},
    {"BareLfKept", RemoveLineBreaks, "a\nb", "a\nb"},
    {"BareCrKept", RemoveLineBreaks, "a\rb\r", "a\rb\r"},
    {"LfCrKept", RemoveLineBreaks, "a\n\rb", "a\n\rb"},
    {"PairFormedByInnerDeletion", RemoveLineBreaks, "x\r\r\n\ny", "xy"},
    {"BlanksKept", RemoveLineBreaks, "a b\t", "a b\t"},
};

const TextCase kCleanCellText[] = {
    {"Empty", CleanCellText, "", ""},
    {"MarkupOnly", CleanCellText, "<td class=\"x\"></td>", ""},
    {"DateAndTimeRunTogether", CleanCellText,
     "<td class=\"time\">\r\n    <p class=\"d\">2024.05.12</p>\r\n"
     "    <p class=\"h\">&nbsp;14:03</p>\r\n  </td>",
     "2024.05.1214:03"},
    {"LessThanWithoutGreaterThanStays", CleanCellText, "<b>a < b\r\nc", "a<bc"},
    {"GreaterThanBeforeFirstLessThanStays", CleanCellText, "x>y<b>z", "x>yz"},
    {"DoubleBracketsLeaveLastGreaterThan", CleanCellText, "<<b>>", ">"},
    {"UpperCaseEntityKept", CleanCellText, "<td>&NBSP;1&amp;2</td>", "&NBSP;1&amp;2"},
    {"BareLfKept", CleanCellText, "<td>a\nb</td>", "a\nb"},
    {"BlanksInsideMarkupDoNotMatter", CleanCellText, "< td >x</ td >", "x"},
    {"FullWidthSpaceInText", CleanCellText,
     "<p>\xA1\xA1"
     "5522</p>",
     "5522"},
    {"AmountKeepsItsSign", CleanCellText, "<span>+ 1,280.00</span>", "+1,280.00"},
};

const TextCase kExtractTitleValue[] = {
    {"Empty", ExtractTitleValue, "", ""},
    {"Serial", ExtractTitleValue, "<p class=\"s\" title=\"20240512220014\">No.</p>",
     "20240512220014"},
    {"BlanksInsideAttributeLost", ExtractTitleValue, "<p title=\"2024 05\t12\">", "20240512"},
    {"BlanksAroundEqualsSign", ExtractTitleValue, "<p title = \"abc\">", "abc"},
    {"LineBreakInsideAttributeLost", ExtractTitleValue, "<p title=\"ab\r\ncd\">", "abcd"},
    {"NoMarker", ExtractTitleValue, "<p class=\"x\">t</p>", ""},
    {"UpperCaseMarkerNotFound", ExtractTitleValue, "<p TITLE=\"abc\">", ""},
    {"NoQuoteFollowedByGreaterThan", ExtractTitleValue, "<p title=\"abc\"/>x", ""},
    {"EmptyAttribute", ExtractTitleValue, "<p title=\"\">x", ""},
    {"ValueRunsToTheTagEnd", ExtractTitleValue, "<p title=\"a\" class=\"b\">", "a\"class=\"b"},
    {"SuffixNameCountsAndFirstWins", ExtractTitleValue, "<p data-title=\"a\"><p title=\"b\">", "a"},
};

const TextCase kExtractHrefValue[] = {
    {"Empty", ExtractHrefValue, "", ""},
    {"EntityKept", ExtractHrefValue, "<a href=\"d.htm?a=1&amp;b=2\">x</a>", "d.htm?a=1&amp;b=2"},
    {"NbspGone", ExtractHrefValue, "<a href=\"a&nbsp;b\">", "ab"},
    {"BlanksAndLineBreaksLost", ExtractHrefValue, "<a href = \"a b\r\nc\">", "abc"},
    {"NoMarker", ExtractHrefValue, "<a name=\"x\">", ""},
    {"NoClosingQuote", ExtractHrefValue, "<a href=\"abc>", ""},
    {"EmptyAttribute", ExtractHrefValue, "<a href=\"\">", ""},
    {"UpperCaseMarkerNotFound", ExtractHrefValue, "<a HREF=\"x\">", ""},
};

auto CaseName = [](const auto& info) { return std::string(info.param.name); };

INSTANTIATE_TEST_SUITE_P(RemoveBlanks, PageTextTest, ::testing::ValuesIn(kRemoveBlanks), CaseName);
INSTANTIATE_TEST_SUITE_P(RemoveLineBreaks, PageTextTest, ::testing::ValuesIn(kRemoveLineBreaks),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(CleanCellText, PageTextTest, ::testing::ValuesIn(kCleanCellText),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(ExtractTitleValue, PageTextTest, ::testing::ValuesIn(kExtractTitleValue),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(ExtractHrefValue, PageTextTest, ::testing::ValuesIn(kExtractHrefValue),
                         CaseName);

TEST(PageTextGbkTest, CleansAChineseCellWithFullWidthSpaces) {
  const std::string cell = FAHUO_GBK("<td>\r\n  <p>加急　请发 qq 10001</p>\r\n</td>");
  EXPECT_EQ(CleanCellText(cell), FAHUO_GBK("加急请发qq10001"));
}

// Each deletion loop must not restart from the beginning per hit.
TEST(PageTextGbkTest, HugeRepetitiveInputsComeBack) {
  std::string nbsp;
  std::string tags;
  for (int i = 0; i < 200000; ++i) {
    nbsp += "&nbsp;\r\n";
    tags += "<b>";
  }
  EXPECT_EQ(RemoveLineBreaks(RemoveBlanks(nbsp)), "");
  EXPECT_EQ(CleanCellText(tags), "");
  EXPECT_EQ(CleanCellText("<" + std::string(1000000, 'x')), "<" + std::string(1000000, 'x'));
}

}  // namespace
}  // namespace fahuo
