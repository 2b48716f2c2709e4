#include "delivery/recipient.h"

#include <gtest/gtest.h>

#include "platform/gbk.h"

namespace fahuo {
namespace {

using Kind = Recipient::Kind;

struct RecipientCase {
  const char* name;
  const char* utf8_bill_name;
  const char* utf8_note;
  Kind kind;
  const char* address;  // UTF-8
};

class RecipientForTest : public ::testing::TestWithParam<RecipientCase> {};

TEST_P(RecipientForTest, Derives) {
  const RecipientCase& c = GetParam();
  Recipient r = RecipientFor(Utf8ToGbk(c.utf8_bill_name), Utf8ToGbk(c.utf8_note));
  EXPECT_EQ(r.kind, c.kind);
  EXPECT_EQ(GbkToUtf8(r.address), c.address);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecipientForTest,
    ::testing::Values(
        RecipientCase{"AtSignUsedWhole", "请发到 buyer@example.com 谢谢", "教程",
                      Kind::kMailAddress, "请发到 buyer@example.com 谢谢"},
        RecipientCase{"AtSignAloneIsEnough", "@", "x", Kind::kMailAddress, "@"},
        RecipientCase{"AtSignWinsOverDigits", "12345@qq.com", "x", Kind::kMailAddress,
                      "12345@qq.com"},
        RecipientCase{"WordBlankNineDigits", "QQ 123456789", "x", Kind::kQqNumber,
                      "123456789@qq.com"},
        RecipientCase{"ThreeDigitsTooShort", "123", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"FourDigitsEnough", "1234", "x", Kind::kQqNumber, "1234@qq.com"},
        RecipientCase{"TwoNumbers", "1234 5678", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"TwelveDigitsGiveFirstEleven", "123456789012", "x", Kind::kQqNumber,
                      "12345678901@qq.com"},
        RecipientCase{"FifteenDigitsGiveTwo", "123456789012345", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"NoDigits", "张三", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"EmptyName", "", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"EmptyNoteSkipsAddress", "buyer@example.com", "", Kind::kSkipNoNote, ""},
        RecipientCase{"EmptyNoteSkipsQq", "123456789", "", Kind::kSkipNoNote, ""},
        // "¥" is four GB18030 bytes ending in the digit byte '6': no part of the number.
        RecipientCase{"FourByteCharacterBeforeDigits", "¥12345678", "x", Kind::kQqNumber,
                      "12345678@qq.com"},
        RecipientCase{"FourByteCharactersAlone", "😀😀😀😀", "x", Kind::kSkipNotQq, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecipientForGbkTest, TrailByteAtIsNoAtSign) {
  // "丂" is 81 40 in GBK: its second byte is '@', yet the name holds no at-sign.
  std::string name =
      "\x81\x40"
      "123456789";
  Recipient r = RecipientFor(name, "x");
  EXPECT_EQ(r.kind, Kind::kQqNumber);
  EXPECT_EQ(r.address, "123456789@qq.com");
}

}  // namespace
}  // namespace fahuo
