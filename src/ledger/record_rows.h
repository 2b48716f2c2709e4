#pragma once
// The delivery record as rows of text: the columns the record window shows and the CSV file
// it exports. Texts are UTF-8.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger.h"

namespace fahuo {

inline constexpr std::array<std::string_view, 11> kRecordColumns = {
    "时间",     "流水号", "金额",     "名称", "收件人",  "规则主题",
    "发货状态", "次数",   "最后错误", "卡密", "发信邮箱"};

// The text of `column` (an index into kRecordColumns) for `entry`, UTF-8.
std::string RecordCell(const LedgerEntry& entry, size_t column);

// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line break, quotes
// doubled. A field that a spreadsheet would run as a formula (it begins with = + - @, a tab
// or a CR, and is not a plain signed number) gets a leading ' so it stays text.
std::string CsvField(std::string_view utf8);

struct CsvExportResult {
  bool ok = false;
  size_t rows = 0;    // bills written
  std::string error;  // UTF-8, when !ok
};

// Writes every entry `filter` lets through, newest first, to `path` as CSV: UTF-8 with a
// byte-order mark (spreadsheet programs on the seller's PC read the Chinese text then), a
// header row, CRLF line ends. The file is written beside `path` and renamed over it,
// readable by its owner only (it holds the codes).
CsvExportResult ExportRecordsCsv(Ledger& ledger, LedgerFilter filter, const std::string& path);

// Writes a table of UTF-8 cells (the first row its header) to `path` as the export above
// does: byte-order mark, CsvField cells, CRLF, written beside and renamed over.
CsvExportResult WriteCsvTable(const std::vector<std::vector<std::string>>& rows,
                              const std::string& path);

}  // namespace fahuo
