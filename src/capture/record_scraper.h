#pragma once
// Turns one transaction-records page into bills.
#include <string_view>
#include <vector>

#include "capture/bill_record.h"

namespace fahuo {

// Scrapes the record table of `page` (the response bytes as they came, GBK) and appends one
// BillRecord per record row to `target`, in page order; never clears or reorders it.
// A row is a "<tr.*?tr>" match, a cell a "<td.*?td>" match inside it (both case-insensitive,
// dot matching line breaks). The first row match is always skipped as the header; a record
// row has exactly eight cells: 日期, 备注, 名称 + 流水号 (split at "</p>"), 对方, 金额,
// 链接, 状态, and an eighth cell that is not read. A row without a 流水号 is skipped.
// Returns false, appending nothing, when the page holds fewer than two row matches; true
// otherwise, even when no row qualified. Linear in the page size for any bytes; thread-safe.
bool ScrapeRecordTable(std::string_view page, std::vector<BillRecord>& target);

}  // namespace fahuo
