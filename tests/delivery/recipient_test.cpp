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
  // As typed, for a mended address or a held one; and the suggestion for a held one.
  const char* typed = "";
  const char* suggestion = "";
};

class RecipientForTest : public ::testing::TestWithParam<RecipientCase> {};

TEST_P(RecipientForTest, Derives) {
  const RecipientCase& c = GetParam();
  Recipient r = RecipientFor(Utf8ToGbk(c.utf8_bill_name), Utf8ToGbk(c.utf8_note));
  EXPECT_EQ(r.kind, c.kind);
  EXPECT_EQ(GbkToUtf8(r.address), c.address);
  EXPECT_EQ(GbkToUtf8(r.typed), c.typed);
  EXPECT_EQ(GbkToUtf8(r.suggestion), c.suggestion);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecipientForTest,
    ::testing::Values(
        RecipientCase{"AddressAmongWords", "请发到 buyer@example.com 谢谢", "教程",
                      Kind::kMailAddress, "buyer@example.com"},
        RecipientCase{"AddressGluedToChinese", "邮箱：abc.d+e@163.com，谢谢", "x",
                      Kind::kMailAddress, "abc.d+e@163.com"},
        RecipientCase{"AddressInAngleBrackets", "张三<zs@163.com>", "x", Kind::kMailAddress,
                      "zs@163.com"},
        RecipientCase{"SentenceFullStop", "发到 a@b.example.", "x", Kind::kMailAddress,
                      "a@b.example"},
        RecipientCase{"ChineseDomain", "发到 abc@例子.中国", "x", Kind::kMailAddress,
                      "abc@例子.中国"},
        RecipientCase{"ChineseLocalPart", "用户@example.com", "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"PunycodeDomain", "a@xn--fsqu00a.xn--fiqs8s", "x", Kind::kMailAddress,
                      "a@xn--fsqu00a.xn--fiqs8s"},
        RecipientCase{"AtSignWinsOverDigits", "12345@qq.com", "x", Kind::kMailAddress,
                      "12345@qq.com"},
        RecipientCase{"AtSignAlone", "@", "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"TwoAddressesOneWord", "a@x.example,b@y.example", "x",
                      Kind::kSkipInvalidAddress, ""},
        RecipientCase{"TwoAddressWords", "a@x.example b@y.example", "x", Kind::kSkipInvalidAddress,
                      ""},
        RecipientCase{"SmuggledMailParameter", "<NOTIFY=SUCCESSa@x.example>NOTIFY=SUCCESS>", "x",
                      Kind::kSkipInvalidAddress, ""},
        RecipientCase{"ManyAtSigns", "a@b@c@d@e.example", "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"NoDomainDot", "a@localhost", "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"DoubleDot", "a..b@x.example", "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"AddressLiteral", "a@[127.0.0.1]", "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"LocalPartTooLong",
                      "a1234567890123456789012345678901234567890123456789012345678901234@x.example",
                      "x", Kind::kSkipInvalidAddress, ""},
        RecipientCase{"WordBlankNineDigits", "QQ 123456789", "x", Kind::kQqNumber,
                      "123456789@qq.com"},
        RecipientCase{"ThreeDigitsTooShort", "123", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"FourDigitsEnough", "1234", "x", Kind::kQqNumber, "1234@qq.com"},
        RecipientCase{"TwoNumbers", "1234 5678", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"ElevenDigits", "12345678901", "x", Kind::kQqNumber, "12345678901@qq.com"},
        RecipientCase{"TwelveDigitsAreNoQq", "123456789012", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"FifteenDigitsAreNoQq", "123456789012345", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"PhoneNumberBesideQq", "QQ 123456789 电话 8613800138000", "x",
                      Kind::kQqNumber, "123456789@qq.com"},
        RecipientCase{"NoDigits", "张三", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"EmptyName", "", "x", Kind::kSkipNotQq, ""},
        RecipientCase{"EmptyNoteSkipsAddress", "buyer@example.com", "", Kind::kSkipNoNote, ""},
        RecipientCase{"EmptyNoteSkipsQq", "123456789", "", Kind::kSkipNoNote, ""},
        // "¥" is four GB18030 bytes ending in the digit byte '6': no part of the number.
        RecipientCase{"FourByteCharacterBeforeDigits", "¥12345678", "x", Kind::kQqNumber,
                      "12345678@qq.com"},
        RecipientCase{"FourByteCharactersAlone", "😀😀😀😀", "x", Kind::kSkipNotQq, ""},
        // What input methods make of an address.
        RecipientCase{"FullWidthAddress", "ａｂｃ＠ｑｑ。ｃｏｍ。", "x", Kind::kMailAddress,
                      "abc@qq.com"},
        RecipientCase{"FullStopBeforeAddress", "我的邮箱。abc@163．com，谢谢", "x",
                      Kind::kMailAddress, "abc@163.com"},
        RecipientCase{"BlanksInsideAddress", "abc @ qq. com谢谢", "x", Kind::kMailAddress,
                      "abc@qq.com"},
        RecipientCase{"CommaForDot", "abc@qq,com；", "x", Kind::kMailAddress, "abc@qq.com"},
        RecipientCase{"NextSentenceIsNoDomain", "a@qq.com. my qq", "x", Kind::kMailAddress,
                      "a@qq.com"},
        RecipientCase{"FullWidthQqNumber", "ＱＱ１２３４５６７", "x", Kind::kQqNumber,
                      "1234567@qq.com"},
        // Domain typos: mended when sure, held with a suggestion when not.
        RecipientCase{"TldTypo", "buyer@qq.con", "x", Kind::kMailAddress, "buyer@qq.com",
                      "buyer@qq.con"},
        RecipientCase{"CountryCodeForCom", "buyer@qq.cm", "x", Kind::kMailAddress, "buyer@qq.com",
                      "buyer@qq.cm"},
        RecipientCase{"NeighbourKey", "Buyer@163.CPM", "x", Kind::kMailAddress, "Buyer@163.com",
                      "Buyer@163.CPM"},
        RecipientCase{"SwappedLetters", "buyer@gmial.com", "x", Kind::kMailAddress,
                      "buyer@gmail.com", "buyer@gmial.com"},
        RecipientCase{"UnknownDomainLeftAlone", "buyer@mycompany.com", "x", Kind::kMailAddress,
                      "buyer@mycompany.com"},
        RecipientCase{"RealNeighbourLeftAlone", "buyer@mail.com", "x", Kind::kMailAddress,
                      "buyer@mail.com"},
        RecipientCase{"CountryDomainLeftAlone", "buyer@hotmail.fr", "x", Kind::kMailAddress,
                      "buyer@hotmail.fr"},
        RecipientCase{"TwoEquallyNear", "buyer@sina.co", "x", Kind::kSkipSuspectAddress, "",
                      "buyer@sina.co", "buyer@sina.com"},
        RecipientCase{"ShortNameChanged", "buyer@qqq.com", "x", Kind::kSkipSuspectAddress, "",
                      "buyer@qqq.com", "buyer@qq.com"},
        RecipientCase{"NoSuchTld", "buyer@mycompany.con", "x", Kind::kSkipSuspectAddress, "",
                      "buyer@mycompany.con", "buyer@mycompany.com"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(RecipientForGbkTest, TrailByteAtIsNoAtSign) {
  // "丂" is 81 40 in GBK: its second byte is '@', yet the name holds no at-sign.
  std::string name =
      "\x81\x40"
      "123456789";
  Recipient r = RecipientFor(name, "x");
  EXPECT_EQ(r.kind, Kind::kQqNumber);
  EXPECT_EQ(r.address, "123456789@qq.com");
  // Before a real address the same character is text glued to it.
  r = RecipientFor(
      "\x81\x40"
      "abc@163.com",
      "x");
  EXPECT_EQ(r.kind, Kind::kMailAddress);
  EXPECT_EQ(r.address, "abc@163.com");
}

}  // namespace
}  // namespace fahuo
