#include "capture/record_scraper.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

const char kHeader[] = "<tr><th>时间</th><th>备注</th><th>名称</th></tr>\r\n";

// A record row of `cells` cells over indented CR LF lines; `serial` names the row.
std::string Row(const std::string& serial, int cells = 8, const std::string& tr = "tr",
                const std::string& td = "td") {
  const std::string fields[] = {
      "<p>2024.05.12</p>\r\n      <p>14:03</p>",
      "<p>教程</p>",
      "<p><a href=\"#\">QQ 12345</a></p>\r\n      <p title=\"" + serial + "\">流水号</p>",
      "<p>张三</p>",
      "<span>+ 98.00</span>",
      "<a href=\"detail.htm?no=" + serial + "&amp;t=1\">详情</a>",
      "<p>交易成功</p>",
      "<a href=\"#\">删除</a>",
  };
  std::string row = "  <" + tr + " class=\"item\">\r\n";
  for (int i = 0; i < cells; ++i) {
    row += "    <" + td + " class=\"c\">\r\n      " + fields[i % 8] + "\r\n    </" + td + ">\r\n";
  }
  return row + "  </" + tr + ">\r\n";
}

std::string Page(const std::string& rows) {
  return Utf8ToGbk("<html><body><table>\r\n" + rows + "</table></body></html>");
}

std::vector<std::string> Serials(const std::vector<BillRecord>& bills) {
  std::vector<std::string> serials;
  for (const BillRecord& bill : bills) serials.push_back(bill.流水号);
  return serials;
}

struct ScrapeCase {
  const char* name;
  std::string page_utf8;
  bool want_table;
  std::vector<std::string> want_serials;
};

void PrintTo(const ScrapeCase& c, std::ostream* os) { *os << c.name; }

class ScrapeTest : public ::testing::TestWithParam<ScrapeCase> {};

TEST_P(ScrapeTest, AppendsTheQualifyingRowsInPageOrder) {
  const ScrapeCase& c = GetParam();
  std::vector<BillRecord> bills(1);
  bills[0].流水号 = "earlier";
  EXPECT_EQ(ScrapeRecordTable(Page(c.page_utf8), bills), c.want_table);
  std::vector<std::string> want = {"earlier"};
  want.insert(want.end(), c.want_serials.begin(), c.want_serials.end());
  EXPECT_EQ(Serials(bills), want);
}

const ScrapeCase kScrapeCases[] = {
    {"NoRows", "<p>请登录</p>", false, {}},
    {"OnlyOneRow", Row("1"), false, {}},
    {"HeaderAndThreeRecords", kHeader + Row("1") + Row("2") + Row("3"), true, {"1", "2", "3"}},
    {"FirstRowAlwaysSkipped", Row("1") + Row("2"), true, {"2"}},
    {"SevenAndNineCellRowsSkipped",
     kHeader + Row("7", 7) + Row("8") + Row("9", 9) + Row("10"),
     true,
     {"8", "10"}},
    {"HeaderOnlyRowsGiveTrueAndNothing", std::string(kHeader) + kHeader, true, {}},
    {"UpperCaseTags",
     kHeader + Row("1", 8, "TR", "TD") + Row("2", 8, "Tr", "tD"),
     true,
     {"1", "2"}},
};

INSTANTIATE_TEST_SUITE_P(Pages, ScrapeTest, ::testing::ValuesIn(kScrapeCases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(ScrapeRecordTableTest, FillsEveryFieldFromItsCell) {
  std::vector<BillRecord> bills;
  ASSERT_TRUE(ScrapeRecordTable(Page(kHeader + Row("2024051222001")), bills));
  ASSERT_EQ(bills.size(), 1u);
  BillRecord want;
  want.流水号 = "2024051222001";
  want.日期 = "2024.05.1214:03";
  want.备注 = Utf8ToGbk("教程");
  want.名称 = "QQ12345";
  want.对方 = Utf8ToGbk("张三");
  want.金额 = "+98.00";
  want.链接 = "detail.htm?no=2024051222001&amp;t=1";
  want.状态 = Utf8ToGbk("交易成功");
  EXPECT_EQ(bills[0], want);
}

// Without a serial a row is no bill: it is skipped, the rows around it are not.
TEST(ScrapeRecordTableTest, ThirdCellWithoutParagraphEndHoldsNoSerialAndIsSkipped) {
  const std::string row =
      "<tr><td>d</td><td>n</td><td><a title=\"99\">buyer@example.com</a></td>"
      "<td>o</td><td>1</td><td></td><td>s</td><td></td></tr>";
  std::vector<BillRecord> bills;
  ASSERT_TRUE(ScrapeRecordTable(Page(kHeader + Row("1") + row + Row("2")), bills));
  EXPECT_EQ(Serials(bills), (std::vector<std::string>{"1", "2"}));
}

TEST(ScrapeRecordTableTest, SerialComesOnlyFromTheSecondParagraph) {
  const std::string row =
      "<tr><td>d</td><td>n</td><td><p>a</p><p>b</p><p title=\"late\">c</p></td>"
      "<td>o</td><td>1</td><td></td><td>s</td><td></td></tr>";
  std::vector<BillRecord> bills;
  ASSERT_TRUE(ScrapeRecordTable(Page(kHeader + row), bills));
  EXPECT_TRUE(bills.empty());
  std::string with_title = row;
  with_title.replace(with_title.find("<p>b"), 4, "<p title=\"s1\">b");
  ASSERT_TRUE(ScrapeRecordTable(Page(kHeader + with_title), bills));
  ASSERT_EQ(bills.size(), 1u);
  EXPECT_EQ(bills[0].名称, "a");
  EXPECT_EQ(bills[0].流水号, "s1");
}

TEST(ScrapeRecordTableTest, AmountThatIsNotANumberKeptAsText) {
  std::string row = Row("1");
  row.replace(row.find("+ 98.00"), 7, "面议 &amp; 待定");
  std::vector<BillRecord> bills;
  ASSERT_TRUE(ScrapeRecordTable(Page(kHeader + row), bills));
  ASSERT_EQ(bills.size(), 1u);
  EXPECT_EQ(bills[0].金额, Utf8ToGbk("面议&amp;待定"));
}

TEST(ScrapeRecordTableTest, ScrapingTwiceAppendsTwice) {
  std::vector<BillRecord> bills;
  const std::string page = Page(kHeader + Row("1") + Row("2"));
  ASSERT_TRUE(ScrapeRecordTable(page, bills));
  ASSERT_TRUE(ScrapeRecordTable(page, bills));
  EXPECT_EQ(Serials(bills), (std::vector<std::string>{"1", "2", "1", "2"}));
}

TEST(ScrapeRecordTableTest, HostileBytesGiveAResult) {
  std::vector<BillRecord> bills;
  std::string unclosed;
  for (int i = 0; i < 1000000; ++i) unclosed += "<tr";
  EXPECT_FALSE(ScrapeRecordTable(unclosed, bills));

  const std::string big_cell = "<td>" + std::string(1 << 20, '\xA1') + "</td>";
  std::string garbage = "<tr></tr><tr>" + big_cell;
  for (int i = 0; i < 7; ++i) {
    garbage += std::string("<td>\x81") + '\0' + (i == 1 ? "</p><p title=\"1\">" : "") + "\xFF</td>";
  }
  garbage += "</tr>\xFE";
  EXPECT_TRUE(ScrapeRecordTable(garbage, bills));
  ASSERT_EQ(bills.size(), 1u);
  EXPECT_EQ(bills[0].日期, "");  // nothing but full-width spaces
}

struct SavedPageCase {
  const char* file;
  bool want_table;
  std::size_t want_count;
  std::string first_serial;
  std::string last_serial;
};

void PrintTo(const SavedPageCase& c, std::ostream* os) { *os << c.file; }

class SavedPageTest : public ::testing::TestWithParam<SavedPageCase> {};

TEST_P(SavedPageTest, ScrapesTheRowsAReaderSees) {
  const SavedPageCase& c = GetParam();
  const std::string page = testing::ReadFileBytes(testing::TestDataDir() + "/" + c.file);
  ASSERT_FALSE(page.empty());
  std::vector<BillRecord> bills;
  EXPECT_EQ(ScrapeRecordTable(page, bills), c.want_table);
  ASSERT_EQ(bills.size(), c.want_count);
  if (bills.empty()) return;
  EXPECT_EQ(bills.front().流水号, c.first_serial);
  EXPECT_EQ(bills.back().流水号, c.last_serial);
  for (const BillRecord& bill : bills) {
    EXPECT_EQ(bill.状态, Utf8ToGbk("交易成功"));
    EXPECT_EQ(bill.链接.rfind("https://", 0), 0u) << bill.链接;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, SavedPageTest,
    ::testing::Values(SavedPageCase{"records_page1.htm", true, 20, "202405122200140623347347957",
                                    "202405082200140196002426399"},
                      SavedPageCase{"records_saved.htm", true, 3, "202405022200140948998941043",
                                    "202405022200140635808638068"},
                      SavedPageCase{"records_empty.htm", true, 0, "", ""},
                      SavedPageCase{"records_signin.htm", false, 0, "", ""}),
    [](const auto& c) {
      std::string name = c.param.file;
      return name.substr(8, name.find('.') - 8);
    });

}  // namespace
}  // namespace fahuo
