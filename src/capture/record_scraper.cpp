#include "capture/record_scraper.h"

#include <utility>

#include "capture/page_text.h"
#include "platform/regex.h"

namespace fahuo {
namespace {

constexpr std::size_t kCellsPerRecord = 8;

// The third cell holds the buyer's text, then a paragraph whose title is the serial number.
void FillNameAndSerial(std::string_view cell, BillRecord& record) {
  static constexpr std::string_view kParagraphEnd = "</p>";
  const std::size_t first_end = cell.find(kParagraphEnd);
  if (first_end == std::string_view::npos) {
    record.名称 = CleanCellText(cell);
    return;
  }
  record.名称 = CleanCellText(cell.substr(0, first_end));
  const std::string_view rest = cell.substr(first_end + kParagraphEnd.size());
  record.流水号 = ExtractTitleValue(rest.substr(0, rest.find(kParagraphEnd)));
}

}  // namespace

bool ScrapeRecordTable(std::string_view page, std::vector<BillRecord>& target) {
  const std::vector<std::string_view> rows = RowPattern().FindAll(page);
  if (rows.size() < 2) return false;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    // One cell more than a record holds is enough to reject the row.
    const std::vector<std::string_view> cells = CellPattern().FindAll(rows[r], kCellsPerRecord + 1);
    if (cells.size() != kCellsPerRecord) continue;
    BillRecord record;
    record.日期 = CleanCellText(cells[0]);
    record.备注 = CleanCellText(cells[1]);
    FillNameAndSerial(cells[2], record);
    // The serial is the bill's key in the lists and the ledger: a row without one is no bill.
    if (record.流水号.empty()) continue;
    record.对方 = CleanCellText(cells[3]);
    record.金额 = CleanCellText(cells[4]);
    record.链接 = ExtractHrefValue(cells[5]);
    record.状态 = CleanCellText(cells[6]);
    target.push_back(std::move(record));
  }
  return true;
}

}  // namespace fahuo
