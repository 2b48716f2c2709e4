#pragma once
// Per-order fields in a rule's subject and body: {流水号} {金额} {名称} {对方} {日期} {备注},
// and the order's codes: {卡密:名称} (a code of the stock 名称), {卡密} (of the stock 默认).
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "capture/bill_record.h"

namespace fahuo {

// `gbk_text` with each known placeholder replaced by the bill's field (GBK). {金额} drops
// the page's leading '+', {日期} puts a blank between date and time ("2024.05.12 14:03").
// A brace that opens no known placeholder is kept as typed; a value that holds braces is
// not expanded again; text without placeholders comes back byte for byte.
// A code placeholder whose stock `codes` (stock name -> code, GBK) does not hold is kept too.
using OrderCodes = std::map<std::string, std::string>;
std::string ExpandPlaceholders(std::string_view gbk_text, const BillRecord& bill,
                               const OrderCodes& codes = {});

// The stocks the code placeholders of `gbk_texts` name, each once, in order of appearance.
std::vector<std::string> CodeStocks(const std::vector<std::string_view>& gbk_texts);

// The stock {卡密} takes from (GBK).
const std::string& DefaultStockName();

// A name a rule can give a stock: 1 to kMaxStockNameBytes bytes (GBK), no brace.
inline constexpr size_t kMaxStockNameBytes = 64;
inline bool IsStockName(std::string_view gbk) {
  return !gbk.empty() && gbk.size() <= kMaxStockNameBytes &&
         gbk.find_first_of("{}") == std::string_view::npos;
}

// The order a rule preview is filled with, its fields as the records page gives them.
BillRecord SampleOrder();

}  // namespace fahuo
