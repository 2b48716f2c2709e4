#include "capture/navigation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "capture/bill_list.h"
#include "capture/records_address.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/http_client.h"
#include "test_support.h"

namespace fahuo {
namespace {

// ---- Dates and the page-1 address ----

struct DateCase {
  const char* name;
  LocalDate date;
  DateTexts texts;
  const char* address_tail;
};

class DateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTest, TextsAndPage1Address) {
  const DateCase& c = GetParam();
  DateTexts t = DateTextsOf(c.date);
  EXPECT_EQ(t.year, c.texts.year);
  EXPECT_EQ(t.month, c.texts.month);
  EXPECT_EQ(t.day, c.texts.day);

  const RecordsSite site("https://records.example.com");
  EXPECT_EQ(Page1Address(site, c.date),
            std::string("https://records.example.com/record/standard.htm?_input_charset=utf-8"
                        "&tradeType=all&status=success&dateRange=customDate&fundFlow=all"
                        "&dateType=createDate&beginTime=00%3A00&endTime=24%3A00") +
                c.address_tail);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, DateTest,
    ::testing::Values(DateCase{"SixthJanuary",
                               {2015, 1, 6},
                               {"2015", "01", "06"},
                               "&beginDate=2014.01.01&endDate=2015.01.06&pageNum=1"},
                      DateCase{"ChristmasDay",
                               {2015, 12, 25},
                               {"2015", "12", "25"},
                               "&beginDate=2014.12.01&endDate=2015.12.25&pageNum=1"},
                      DateCase{"LeapDay",
                               {2016, 2, 29},
                               {"2016", "02", "29"},
                               "&beginDate=2015.02.01&endDate=2016.02.29&pageNum=1"}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- FindNextPage ----

struct NextPageCase {
  const char* name;
  const char* page;  // UTF-8, converted to GBK
  bool found;
  const char* address;  // the address afterwards
};

class FindNextPageTest : public ::testing::TestWithParam<NextPageCase> {};

TEST_P(FindNextPageTest, Cases) {
  const NextPageCase& c = GetParam();
  std::string address = "unchanged";
  EXPECT_EQ(FindNextPage(Utf8ToGbk(c.page), address), c.found);
  EXPECT_EQ(GbkToUtf8(address), c.address);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FindNextPageTest,
    ::testing::Values(
        NextPageCase{"AmpRemoved", R"(<a href="?a=1&amp;pageNum=2">下一页&gt;</a>)", true,
                     "?a=1&pageNum=2"},
        NextPageCase{"FirstOfTwoPagers",
                     "<div><a href=\"/p?n=2&amp;top=1\">下一页&gt;</a></div><table></table>"
                     "<div><a href=\"/p?n=2&amp;bottom=1\">下一页&gt;</a></div>",
                     true, "/p?n=2&top=1"},
        NextPageCase{"SpaceBeforeClosingTagPassedOver",
                     R"(<a href="/p?n=2">下一页&gt; </a><a href="/q?n=3">下一页&gt;</a>)", true,
                     "/q?n=3"},
        NextPageCase{"OnlySpacedLink", R"(<a href="/p?n=2">下一页&gt; </a>)", false, "unchanged"},
        NextPageCase{"EmptyHref", R"(<a href="">下一页&gt;</a>)", true, ""},
        NextPageCase{"AttributeAfterHref", R"(<a href="/p?n=2" class="next">下一页&gt;</a>)", true,
                     "/p?n=2\"class=\"next"},
        NextPageCase{"OverIndentedLines",
                     "<a class=\"page-next\"\r\n    href=\"https://h/r?x=1&amp;\r\n  pageNum=2\">"
                     "下一页&gt;</a>",
                     true, "https://h/r?x=1&pageNum=2"},
        NextPageCase{"PreviousPageLinkIgnored",
                     R"(<a href="/p?n=1">&lt;上一页</a><a href="/p?n=3">下一页&gt;</a>)", true,
                     "/p?n=3"},
        NextPageCase{"SingleQuotedHrefPassedOver", R"(<a href='/p?n=2'>下一页&gt;</a>)", false,
                     "unchanged"},
        NextPageCase{"HrefQuoteClosesAtOnce", R"(<a href=">下一页&gt;</a>)", false, "unchanged"},
        NextPageCase{"NoPager", "<table><tr><td>1</td></tr></table>", false, "unchanged"}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- Where the loading goes next ----

struct ResolveCase {
  const char* name;
  const char* next;
  const char* expected;
};

class ResolveTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTest, AgainstCurrentAddress) {
  const std::string current = "https://rec.example.com/record/standard.htm?a=1&pageNum=1";
  EXPECT_EQ(ResolveNextAddress(current, GetParam().next), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Links, ResolveTest,
    ::testing::Values(
        ResolveCase{"AbsoluteSameHost", "https://REC.example.com/record/standard.htm?pageNum=2",
                    "https://REC.example.com/record/standard.htm?pageNum=2"},
        ResolveCase{"QueryOnly", "?a=1&pageNum=2",
                    "https://rec.example.com/record/standard.htm?a=1&pageNum=2"},
        ResolveCase{"PathRelative", "standard.htm?pageNum=2",
                    "https://rec.example.com/record/standard.htm?pageNum=2"},
        ResolveCase{"RootRelative", "/record/standard.htm?pageNum=2",
                    "https://rec.example.com/record/standard.htm?pageNum=2"},
        ResolveCase{"SchemeRelative", "//rec.example.com/r?pageNum=2",
                    "https://rec.example.com/r?pageNum=2"},
        ResolveCase{"ForeignHost", "https://evil.example.net/record/standard.htm?pageNum=2", ""},
        ResolveCase{"SchemeRelativeForeign", "//evil.example.net/r", ""},
        ResolveCase{"OtherPort", "https://rec.example.com:8443/r", ""},
        ResolveCase{"Downgrade", "http://rec.example.com/r", ""},
        ResolveCase{"UserInfo", "https://rec.example.com@evil.example.net/r", ""},
        ResolveCase{"Script", "javascript:next()", ""}, ResolveCase{"Empty", "", ""}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- LoadRecordPages against the fake records service ----

class RecordingSink : public RecordPagesSink {
 public:
  void Progress(int pages_read, size_t bills_found) override {
    progress.emplace_back(pages_read, bills_found);
  }
  void Finished() override { ++finished; }
  std::vector<std::pair<int, size_t>> progress;
  int finished = 0;
};

class LoadRecordPagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = new testing::ChildProcess;
    port_ = testing::StartPythonService(
        *service_, "fake_records.py", {"--port", "0", "--pages", "3", "--per-page", "4", "--open"});
  }
  static void TearDownTestSuite() {
    delete service_;
    service_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(port_, 0) << "fake records service did not start";
    base_ = "http://127.0.0.1:" + std::to_string(port_);
    site_ = RecordsSite(base_);
    ASSERT_FALSE(Control("reset").empty());
  }

  std::string Control(const std::string& what) { return http_.Get(base_ + "/_control/" + what); }

  void Load() {
    result_ = LoadRecordPages(
        Page1Address(site_, SystemClock().Today()),
        [this](const std::string& address) { return http_.Get(address); }, sink_);
  }

  // How often the service was asked for page `n`.
  int PageRequests(int n) {
    std::string stats = Control("stats");
    std::string key = "\"" + std::to_string(n) + "\": ";
    size_t at = stats.find(key);
    return at == std::string::npos ? 0 : std::atoi(stats.c_str() + at + key.size());
  }

  // Whether the loading returned the service's first `count` bills, in its order.
  void ExpectFirstBillsInOrder(size_t count) {
    ASSERT_EQ(result_.bills.size(), count);
    std::string listing = Control("bills");
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
      std::string serial = result_.bills[i].流水号;
      ASSERT_EQ(serial.size(), 28u) << "bill " << i;
      size_t found = listing.find("\"" + serial + "\"", at);
      ASSERT_NE(found, std::string::npos) << "bill " << i << " out of order";
      at = found;
    }
  }

  static testing::ChildProcess* service_;
  static int port_;
  std::string base_;
  RecordsSite site_;
  HttpClient http_;
  RecordingSink sink_;
  RecordPagesResult result_;
};

testing::ChildProcess* LoadRecordPagesTest::service_ = nullptr;
int LoadRecordPagesTest::port_ = 0;

TEST_F(LoadRecordPagesTest, ThreePagesInPageOrder) {
  Load();
  ExpectFirstBillsInOrder(12);
  EXPECT_TRUE(result_.page1_read);
  EXPECT_EQ(sink_.progress, (std::vector<std::pair<int, size_t>>{{1, 4}, {2, 8}, {3, 12}}));
  EXPECT_EQ(sink_.finished, 0);  // the caller finishes, once it has kept the bills
  EXPECT_EQ(PageRequests(4), 0);
}

TEST_F(LoadRecordPagesTest, RelativePagerLinksAreFollowed) {
  Control("links?style=relative");
  Load();
  ExpectFirstBillsInOrder(12);
}

TEST_F(LoadRecordPagesTest, PagerToAnotherHostIsNotFollowed) {
  Control("links?style=foreign");
  Load();
  ExpectFirstBillsInOrder(4);
  EXPECT_EQ(PageRequests(2), 0);
}

TEST_F(LoadRecordPagesTest, LaterPageWithoutTableEndsAfterThreeTries) {
  Control("fault?kind=notable&page=2&count=-1");
  Load();
  ExpectFirstBillsInOrder(4);
  EXPECT_EQ(PageRequests(2), 3);
  EXPECT_EQ(PageRequests(3), 0);
}

TEST_F(LoadRecordPagesTest, LaterPageFailingOnceIsFetchedAgain) {
  Control("fault?kind=500&page=2&count=1");
  Control("fault?kind=drop&page=3&count=1");
  Load();
  ExpectFirstBillsInOrder(12);
  EXPECT_EQ(PageRequests(2), 2);
  EXPECT_EQ(PageRequests(3), 2);
}

TEST_F(LoadRecordPagesTest, Page1ThatIsNoRecordsPageEndsAtOnce) {
  for (const char* fault :
       {"fault?kind=empty&page=1&count=-1", "fault?kind=notable&page=1&count=-1"}) {
    SCOPED_TRACE(fault);
    Control("reset");
    Control(fault);
    Load();
    EXPECT_FALSE(result_.page1_read);
    EXPECT_TRUE(result_.bills.empty());
    EXPECT_EQ(PageRequests(1), 1);
  }
  EXPECT_TRUE(sink_.progress.empty());
}

}  // namespace
}  // namespace fahuo
