// Any bytes through the five page-text operations: no crash, and the promises hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture/page_text.h"

namespace {

void Check(bool promise) {
  if (!promise) std::abort();
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  const std::string blanks = fahuo::RemoveBlanks(in);
  Check(blanks.size() <= in.size());
  Check(!Contains(blanks, "\t") && !Contains(blanks, "&nbsp;"));

  const std::string breaks = fahuo::RemoveLineBreaks(in);
  Check(breaks.size() <= in.size() && !Contains(breaks, "\r\n"));

  const std::string cell = fahuo::CleanCellText(in);
  Check(cell.size() <= in.size() && !Contains(cell, "\r\n") && !Contains(cell, "\t"));

  const std::string title = fahuo::ExtractTitleValue(in);
  Check(title.size() <= in.size() && !Contains(title, "\">"));

  const std::string href = fahuo::ExtractHrefValue(in);
  Check(href.size() <= in.size() && !Contains(href, "\""));
  return 0;
}
