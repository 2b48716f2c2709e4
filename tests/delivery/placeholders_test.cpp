#include "delivery/placeholders.h"

#include <gtest/gtest.h>

#include "platform/gbk.h"

namespace fahuo {
namespace {

TEST(Placeholders, ExpandsKnownNamesOnlyAndNeverTwice) {
  BillRecord bill;
  bill.流水号 = "2024051200001";
  bill.金额 = "+98.00";
  bill.名称 = Utf8ToGbk("12345678 QQ");
  bill.对方 = Utf8ToGbk("买家{日期}");  // a value holding a placeholder stays as it is
  bill.日期 = "2024.05.1214:03";
  bill.备注 = Utf8ToGbk("教程");

  struct Case {
    const char* what;
    const char* text;  // UTF-8, expanded as GBK
    const char* want;
  };
  const Case cases[] = {
      {"plain text comes back byte for byte", "泡妞教程下载：http://x.example/a?b=1\r\n谢谢",
       "泡妞教程下载：http://x.example/a?b=1\r\n谢谢"},
      {"every field", "{流水号}|{金额}|{名称}|{备注}|{日期}",
       "2024051200001|98.00|12345678 QQ|教程|2024.05.12 14:03"},
      {"repeated and adjacent", "{流水号}{流水号}", "20240512000012024051200001"},
      {"unknown, unclosed and lone braces are kept", "{数量} {流水号 {} }{ {{金额}}",
       "{数量} {流水号 {} }{ {98.00}"},
      {"a value with braces is not expanded again", "致{对方}", "致买家{日期}"},
      // 媨 is 8B 7B in GBK: its second byte is '{' and must not open a placeholder.
      {"a brace inside a two-byte character", "媨流水号}", "媨流水号}"},
      {"one code per stock, the same wherever it stands",
       "{卡密}|{卡密:会员}|{卡密：会员}|{卡密:会员}", "D-1|V-9|V-9|V-9"},
      {"a stock without a code and broken ones are kept", "{卡密:无} {卡密:} {卡密:会{员} {卡密",
       "{卡密:无} {卡密:} {卡密:会{员} {卡密"},
      {"a code holding braces is not expanded", "{卡密:括号}", "{流水号}"},
  };
  const OrderCodes codes = {{Utf8ToGbk("默认"), "D-1"},
                            {Utf8ToGbk("会员"), "V-9"},
                            {Utf8ToGbk("括号"), Utf8ToGbk("{流水号}")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GbkToUtf8(ExpandPlaceholders(Utf8ToGbk(c.text), bill, codes)), c.want);
  }
  // The stocks a rule takes codes from: each once, in order; a broken placeholder names none.
  const std::string subject = Utf8ToGbk("码 {卡密:会员} {卡密:无");
  const std::string body = Utf8ToGbk("{卡密}{卡密：会员}{卡密:游戏}");
  std::vector<std::string> stocks;
  for (const std::string& stock : CodeStocks({subject, body})) stocks.push_back(GbkToUtf8(stock));
  EXPECT_EQ(stocks, (std::vector<std::string>{"会员", "默认", "游戏"}));
  EXPECT_TRUE(CodeStocks({Utf8ToGbk("{卡密:" + std::string(100, 'x') + "}")}).empty());

  // Dates not in the page's glued shape, and amounts without a sign, pass unchanged.
  bill.日期 = "2024-05-12";
  bill.金额 = "1,160.00";
  EXPECT_EQ(ExpandPlaceholders(Utf8ToGbk("{日期} {金额}"), bill), "2024-05-12 1,160.00");
  EXPECT_EQ(ExpandPlaceholders("", bill), "");
}

}  // namespace
}  // namespace fahuo
