#include "capture/page_text.h"

#include <algorithm>
#include <utility>

namespace fahuo {
namespace {

constexpr unsigned char kFirstLeadByte = 0x81;
constexpr unsigned char kFullWidthSpaceByte = 0xA1;  // the character is A1 A1

// Deletes half- and full-width spaces in one walk over the characters: a byte of 81 hex or
// above takes the next byte with it, so A1 A1 straddling two characters is not a space.
std::string DeleteSpaces(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == ' ') {
      ++i;
    } else if (byte < kFirstLeadByte) {
      out.push_back(text[i]);
      ++i;
    } else if (i + 1 == n) {
      out.push_back(text[i]);  // a lead byte cut off at the end stays as it is
      ++i;
    } else {
      const auto trail = static_cast<unsigned char>(text[i + 1]);
      if (byte != kFullWidthSpaceByte || trail != kFullWidthSpaceByte) out.append(text, i, 2);
      i += 2;
    }
  }
  return out;
}

// Deleting the first occurrence of `token` and searching again from the start, until none
// is left. `token` overlaps no shifted copy of itself ("&nbsp;", CR LF), so every order of
// deletions ends in the same text; a stack-like single pass reaches it in linear time.
std::string DeleteRepeatedly(std::string text, std::string_view token) {
  std::size_t first = text.find(token);
  if (first == std::string::npos) return text;
  const char last = token.back();
  std::size_t out = first;  // text[0, out) is the result so far and holds no token
  for (std::size_t in = first; in < text.size(); ++in) {
    const char c = text[in];
    text[out++] = c;
    if (c == last && out >= token.size() &&
        std::string_view(text).substr(out - token.size(), token.size()) == token) {
      out -= token.size();
    }
  }
  text.resize(out);
  return text;
}

// Deletes every "<" through the first ">" at or after it, from left to right. Restarting
// from the start after each deletion finds nothing new before the deleted span (it held no
// "<"), so one pass gives the same text.
std::string StripMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('<', pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('>', open);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    pos = close + 1;
  }
  out.append(text.substr(pos));
  return out;
}

std::string CleanAttributeText(std::string_view fragment) {
  return RemoveLineBreaks(RemoveBlanks(fragment));
}

}  // namespace

std::string RemoveBlanks(std::string_view text) {
  std::string out = DeleteSpaces(text);
  out.erase(std::remove(out.begin(), out.end(), '\t'), out.end());
  return DeleteRepeatedly(std::move(out), "&nbsp;");
}

std::string RemoveLineBreaks(std::string_view text) {
  return DeleteRepeatedly(std::string(text), "\r\n");
}

std::string CleanCellText(std::string_view fragment) {
  return RemoveLineBreaks(RemoveBlanks(StripMarkup(DeleteSpaces(fragment))));
}

std::string ExtractTitleValue(std::string_view fragment) {
  static constexpr std::string_view kMarker = "title=\"";
  const std::string text = CleanAttributeText(fragment);
  const std::size_t marker = text.find(kMarker);
  if (marker == std::string::npos) return {};
  const std::size_t close = text.find("\">", marker);
  const std::size_t value = marker + kMarker.size();
  // The marker's own quote directly followed by ">" closes an empty value.
  if (close == std::string::npos || close < value) return {};
  return text.substr(value, close - value);
}

std::string ExtractHrefValue(std::string_view fragment) {
  static constexpr std::string_view kMarker = "href=\"";
  const std::string text = CleanAttributeText(fragment);
  const std::size_t marker = text.find(kMarker);
  if (marker == std::string::npos) return {};
  const std::size_t value = marker + kMarker.size();
  const std::size_t close = text.find('"', value);
  if (close == std::string::npos) return {};
  return text.substr(value, close - value);
}

}  // namespace fahuo
