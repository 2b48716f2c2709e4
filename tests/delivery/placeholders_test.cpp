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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GbkToUtf8(ExpandPlaceholders(Utf8ToGbk(c.text), bill)), c.want);
  }

  // Dates not in the page's glued shape, and amounts without a sign, pass unchanged.
  bill.日期 = "2024-05-12";
  bill.金额 = "1,160.00";
  EXPECT_EQ(ExpandPlaceholders(Utf8ToGbk("{日期} {金额}"), bill), "2024-05-12 1,160.00");
  EXPECT_EQ(ExpandPlaceholders("", bill), "");
}

}  // namespace
}  // namespace fahuo
