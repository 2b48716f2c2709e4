// Any bytes as a records page: no crash, no hang, the list is only ever appended to, and
// the page patterns find exactly what a plain RE2 search loop finds.
#include <re2/re2.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "capture/bill_record.h"
#include "capture/record_scraper.h"
#include "platform/regex.h"

namespace {

void Check(bool promise) {
  if (!promise) std::abort();
}

RE2::Options PageOptions() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_case_sensitive(false);
  options.set_dot_nl(true);
  return options;
}

std::vector<std::string_view> PlainFindAll(std::string_view text, const RE2& re) {
  std::vector<std::string_view> found;
  re2::StringPiece match;
  for (std::size_t pos = 0; re.Match(re2::StringPiece(text.data(), text.size()), pos, text.size(),
                                     RE2::UNANCHORED, &match, 1);) {
    found.emplace_back(match.data(), match.size());
    pos = static_cast<std::size_t>(match.data() - text.data()) + match.size();
  }
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  static const RE2 rows("<tr.*?tr>", PageOptions());
  static const RE2 cells("<td.*?td>", PageOptions());
  Check(fahuo::RowPattern().FindAll(page) == PlainFindAll(page, rows));
  Check(fahuo::CellPattern().FindAll(page) == PlainFindAll(page, cells));

  std::vector<fahuo::BillRecord> bills(1);
  bills[0].流水号 = "kept";
  const bool table = fahuo::ScrapeRecordTable(page, bills);
  Check(!bills.empty() && bills[0].流水号 == "kept");
  Check(table || bills.size() == 1);
  // Each record row needs at least eight "<td" and "td>" of its own.
  Check(bills.size() - 1 <= size / 48);
  for (std::size_t i = 1; i < bills.size(); ++i) {
    Check(bills[i].备用.empty() && bills[i].日期.size() <= size);
  }
  return 0;
}
