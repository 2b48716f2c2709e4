#pragma once
// Per-order fields in a rule's subject and body: {流水号} {金额} {名称} {对方} {日期} {备注}.
#include <string>
#include <string_view>

#include "capture/bill_record.h"

namespace fahuo {

// `gbk_text` with each known placeholder replaced by the bill's field (GBK). {金额} drops
// the page's leading '+', {日期} puts a blank between date and time ("2024.05.12 14:03").
// A brace that opens no known placeholder is kept as typed; a value that holds braces is
// not expanded again; text without placeholders comes back byte for byte.
std::string ExpandPlaceholders(std::string_view gbk_text, const BillRecord& bill);

// The order a rule preview is filled with, its fields as the records page gives them.
BillRecord SampleOrder();

}  // namespace fahuo
