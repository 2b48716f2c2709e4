// Any bytes as a records page: no crash, no hang, and the list is only ever appended to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "capture/bill_record.h"
#include "capture/record_scraper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  std::vector<fahuo::BillRecord> bills(1);
  bills[0].流水号 = "kept";
  const bool table = fahuo::ScrapeRecordTable(page, bills);
  if (bills.empty() || bills[0].流水号 != "kept") std::abort();
  if (!table && bills.size() != 1) std::abort();
  // Each record row needs at least eight "<td" and "td>" of its own.
  if (bills.size() - 1 > size / 48) std::abort();
  for (std::size_t i = 1; i < bills.size(); ++i) {
    if (!bills[i].备用.empty() || bills[i].日期.size() > size) std::abort();
  }
  return 0;
}
