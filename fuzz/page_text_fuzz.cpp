// Any bytes through the five page-text operations: no crash, and each gives exactly what
// its plain reading gives ("delete the first, search again from the start"), written out
// naively here on purpose.
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

std::string NaiveDeleteSpaces(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t width = byte >= 0x81 && i + 1 < text.size() ? 2 : 1;
    const std::string_view character = text.substr(i, width);
    if (character != " " && character != "\xA1\xA1") out.append(character);
    i += width;
  }
  return out;
}

std::string NaiveDeleteAll(std::string text, std::string_view token) {
  for (std::size_t at; (at = text.find(token)) != std::string::npos;) text.erase(at, token.size());
  return text;
}

std::string NaiveRemoveBlanks(std::string_view text) {
  return NaiveDeleteAll(NaiveDeleteAll(NaiveDeleteSpaces(text), "\t"), "&nbsp;");
}

std::string NaiveRemoveLineBreaks(std::string_view text) {
  return NaiveDeleteAll(std::string(text), "\r\n");
}

std::string NaiveCleanCellText(std::string_view fragment) {
  std::string text = NaiveDeleteSpaces(fragment);
  for (;;) {
    const std::size_t open = text.find('<');
    if (open == std::string::npos) break;
    const std::size_t close = text.find('>', open);
    if (close == std::string::npos) break;
    text.erase(open, close - open + 1);
  }
  return NaiveRemoveLineBreaks(NaiveRemoveBlanks(text));
}

std::string NaiveExtract(std::string_view fragment, std::string_view marker,
                         std::string_view close_with, std::size_t close_from_marker) {
  const std::string text = NaiveRemoveLineBreaks(NaiveRemoveBlanks(fragment));
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t close = text.find(close_with, at + close_from_marker);
  const std::size_t value = at + marker.size();
  if (close == std::string::npos || close < value) return {};
  return text.substr(value, close - value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  Check(fahuo::RemoveBlanks(in) == NaiveRemoveBlanks(in));
  Check(fahuo::RemoveLineBreaks(in) == NaiveRemoveLineBreaks(in));
  Check(fahuo::CleanCellText(in) == NaiveCleanCellText(in));
  Check(fahuo::ExtractTitleValue(in) == NaiveExtract(in, "title=\"", "\">", 0));
  Check(fahuo::ExtractHrefValue(in) == NaiveExtract(in, "href=\"", "\"", 6));
  return 0;
}
