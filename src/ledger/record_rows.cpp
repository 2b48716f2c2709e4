#include "ledger/record_rows.h"

#include <cerrno>
#include <cstring>

#include "ledger/bill_state_text.h"
#include "platform/file_replace.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "-98.00", "+ 98.00": a spreadsheet reads these as numbers, not formulas.
bool PlainSignedNumber(std::string_view text) {
  size_t i = 1;
  if (i < text.size() && text[i] == ' ') ++i;
  const size_t digits = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i == digits) return false;
  if (i < text.size() && text[i] == '.') {
    const size_t fraction = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == fraction) return false;
  }
  return i == text.size();
}

constexpr size_t kExportChunk = 2000;

}  // namespace

std::string RecordCell(const LedgerEntry& e, size_t column) {
  switch (column) {
    case 0:
      return FormatSeenTime(e.first_seen);
    case 1:
      return GbkToUtf8(e.bill.流水号);
    case 2:
      return GbkToUtf8(e.bill.金额);
    case 3:
      return GbkToUtf8(e.bill.名称);
    case 4: {
      // Both addresses where the mail went elsewhere than the buyer typed (a mended typo, the
      // seller's new address), so the seller can answer "I wrote another address".
      std::string cell = GbkToUtf8(e.recipient);
      if (e.typed_recipient.empty() || e.typed_recipient == e.recipient) return cell;
      if (!cell.empty()) cell += "（";
      cell += "买家填写：" + GbkToUtf8(e.typed_recipient);
      if (!e.recipient.empty()) cell += "）";
      return cell;
    }
    case 5:
      return GbkToUtf8(e.rule_subject);
    case 6:
      return StateText(e);
    case 7:
      return std::to_string(e.attempts);
    case 8:
      return GbkToUtf8(e.last_error);
    case 9:
      return GbkToUtf8(e.codes);
    case 10:
      return GbkToUtf8(e.sent_by);
    default:
      return {};
  }
}

std::string CsvField(std::string_view utf8) {
  std::string field;
  // A long run of digits (a serial number) would be read as a number and lose its last
  // digits; as a formula giving text it shows whole. Digits only, so nothing else can run.
  const bool long_digits =
      utf8.size() > 15 && utf8.find_first_not_of("0123456789") == std::string_view::npos;
  if (long_digits) {
    field = "=\"";
    field += utf8;
    field += "\"";
  } else if (!utf8.empty() && std::strchr("=+-@\t\r", utf8.front()) &&
             !((utf8.front() == '+' || utf8.front() == '-') && PlainSignedNumber(utf8))) {
    field = "'";
  }
  if (!long_digits) field += utf8;
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

CsvExportResult ExportRecordsCsv(Ledger& ledger, LedgerFilter filter, const std::string& path) {
  CsvExportResult result;
  std::string csv = "\xEF\xBB\xBF";
  for (size_t c = 0; c < kRecordColumns.size(); ++c) {
    csv += (c ? "," : "") + CsvField(kRecordColumns[c]);
  }
  csv += "\r\n";
  // By key, so that bills coming in meanwhile neither shift nor repeat rows.
  filter.below_seq = 0;
  for (;;) {
    std::vector<LedgerEntry> page = ledger.Page(filter, 0, kExportChunk);
    for (const LedgerEntry& e : page) {
      for (size_t c = 0; c < kRecordColumns.size(); ++c) {
        csv += (c ? "," : "") + CsvField(RecordCell(e, c));
      }
      csv += "\r\n";
    }
    result.rows += page.size();
    if (page.size() < kExportChunk) break;
    filter.below_seq = page.back().seq;
  }
  // The 卡密 column holds codes a buyer paid for: nobody else on the machine may read them.
  if (!ReplaceFileWith(path, csv, FileAccess::kOwnerOnly)) {
    result.error = std::strerror(errno);
    return result;
  }
  result.ok = true;
  return result;
}

CsvExportResult WriteCsvTable(const std::vector<std::vector<std::string>>& rows,
                              const std::string& path) {
  CsvExportResult result;
  std::string csv = "\xEF\xBB\xBF";
  for (const std::vector<std::string>& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) csv += (c ? "," : "") + CsvField(row[c]);
    csv += "\r\n";
  }
  if (!ReplaceFileWith(path, csv, FileAccess::kOwnerOnly)) {
    result.error = std::strerror(errno);
    return result;
  }
  result.rows = rows.empty() ? 0 : rows.size() - 1;
  result.ok = true;
  return result;
}

}  // namespace fahuo
