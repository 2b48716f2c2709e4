#include "delivery/placeholders.h"

#include <cctype>

#include "platform/gbk.h"
#include "platform/gbk_chars.h"

namespace fahuo {
namespace {

std::string AmountText(const std::string& amount) {
  size_t start = 0;
  while (start < amount.size() && (amount[start] == '+' || amount[start] == ' ')) ++start;
  return amount.substr(start);
}

// The scraper removes blanks, so the page's "2024.05.12 14:03" arrives glued.
std::string DateText(const std::string& date) {
  static constexpr std::string_view kShape = "dddd.dd.dddd:dd";
  if (date.size() != kShape.size()) return date;
  for (size_t i = 0; i < date.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(date[i])) != 0;
    if (kShape[i] == 'd' ? !digit : date[i] != kShape[i]) return date;
  }
  return date.substr(0, 10) + " " + date.substr(10);
}

// At `i`, a code placeholder: {卡密}, {卡密:名称} or {卡密：名称}. Sets its stock and length.
bool CodePlaceholderAt(std::string_view text, size_t i, std::string& stock, size_t& length) {
  const std::string& open = FAHUO_GBK("{卡密");
  if (!text.substr(i).starts_with(open)) return false;
  size_t at = i + open.size();
  if (at < text.size() && text[at] == '}') {
    stock = DefaultStockName();
    length = at + 1 - i;
    return true;
  }
  const std::string& wide_colon = FAHUO_GBK("：");
  if (text.substr(at).starts_with(":")) {
    at += 1;
  } else if (text.substr(at).starts_with(wide_colon)) {
    at += wide_colon.size();
  } else {
    return false;
  }
  // A stock name is short and holds no brace; anything else is text as typed.
  const size_t start = at;
  while (at < text.size() && text[at] != '}' && text[at] != '{' &&
         at - start <= kMaxStockNameBytes) {
    at += GbkCharLength(text, at);
  }
  if (at >= text.size() || text[at] != '}' || at == start || at - start > kMaxStockNameBytes)
    return false;
  stock.assign(text.substr(start, at - start));
  length = at + 1 - i;
  return true;
}

}  // namespace

const std::string& DefaultStockName() { return FAHUO_GBK("默认"); }

std::vector<std::string> CodeStocks(const std::vector<std::string_view>& gbk_texts) {
  std::vector<std::string> stocks;
  for (std::string_view text : gbk_texts) {
    size_t i = 0;
    while (i < text.size()) {
      std::string stock;
      size_t length = 0;
      if (text[i] == '{' && CodePlaceholderAt(text, i, stock, length)) {
        bool seen = false;
        for (const std::string& s : stocks) seen = seen || s == stock;
        if (!seen) stocks.push_back(stock);
        i += length;
        continue;
      }
      i += GbkCharLength(text, i);
    }
  }
  return stocks;
}

std::string ExpandPlaceholders(std::string_view gbk_text, const BillRecord& bill,
                               const OrderCodes& codes) {
  struct Field {
    const std::string& name;
    std::string value;
  };
  const Field fields[] = {
      {FAHUO_GBK("{流水号}"), bill.流水号},       {FAHUO_GBK("{金额}"), AmountText(bill.金额)},
      {FAHUO_GBK("{名称}"), bill.名称},           {FAHUO_GBK("{对方}"), bill.对方},
      {FAHUO_GBK("{日期}"), DateText(bill.日期)}, {FAHUO_GBK("{备注}"), bill.备注},
  };
  std::string out;
  out.reserve(gbk_text.size());
  size_t i = 0;
  while (i < gbk_text.size()) {
    // Walk by characters: '{' and '}' are also the second byte of some GBK characters.
    const size_t length = GbkCharLength(gbk_text, i);
    if (gbk_text[i] == '{') {
      const Field* hit = nullptr;
      for (const Field& f : fields) {
        if (gbk_text.substr(i).starts_with(f.name)) hit = &f;
      }
      if (hit) {
        out += hit->value;
        i += hit->name.size();
        continue;
      }
      std::string stock;
      size_t code_length = 0;
      if (CodePlaceholderAt(gbk_text, i, stock, code_length)) {
        auto code = codes.find(stock);
        if (code != codes.end()) {
          out += code->second;
          i += code_length;
          continue;
        }
      }
    }
    out.append(gbk_text.substr(i, length));
    i += length;
  }
  return out;
}

BillRecord SampleOrder() {
  BillRecord bill;
  bill.流水号 = "20261208200040011100000000000001";
  bill.金额 = "+1.00";
  bill.名称 = FAHUO_GBK("示例买家");
  bill.对方 = "buyer@example.com";
  bill.日期 = "2026.12.0822:20";  // the scraper glues date and time
  bill.备注 = "12345678";
  return bill;
}

}  // namespace fahuo
