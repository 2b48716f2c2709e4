#include "capture/page_text.h"

#include <cstring>

namespace fahuo {
namespace {

constexpr unsigned char kFirstLeadByte = 0x81;
constexpr unsigned char kFullWidthSpaceByte = 0xA1;  // the character is A1 A1

// Deletes half- and full-width spaces in one walk over the characters: a byte of 81 hex or
// above takes the next byte with it, so A1 A1 straddling two characters is not a space.
// With `and_tabs`, TAB bytes go too, wherever they stand (also as a trail byte): the same
// as deleting them in a pass of their own afterwards.
void DeleteSpaces(std::string& text, bool and_tabs) {
  const std::size_t n = text.size();
  std::size_t out = 0;
  std::size_t i = 0;
  while (i < n) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstLeadByte) {
      if (c != ' ' && !(and_tabs && c == '\t')) text[out++] = c;
      ++i;
    } else if (i + 1 == n) {
      text[out++] = c;  // a lead byte cut off at the end stays as it is
      ++i;
    } else {
      const char trail = text[i + 1];
      if (byte != kFullWidthSpaceByte || static_cast<unsigned char>(trail) != kFullWidthSpaceByte) {
        text[out++] = c;
        if (!(and_tabs && trail == '\t')) text[out++] = trail;
      }
      i += 2;
    }
  }
  text.resize(out);
}

// Deleting the first occurrence of `token` and searching again from the start, until none
// is left. `token` overlaps no shifted copy of itself ("&nbsp;", CR LF), so every order of
// deletions ends in the same text; a stack-like single pass reaches it in linear time.
void DeleteRepeatedly(std::string& text, std::string_view token) {
  const std::size_t first = text.find(token);
  if (first == std::string::npos) return;
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
}

// Deletes every "<" through the first ">" at or after it, from left to right. Restarting
// from the start after each deletion finds nothing new before the deleted span (it held no
// "<"), so one pass gives the same text.
void StripMarkup(std::string& text) {
  std::size_t open = text.find('<');
  if (open == std::string::npos) return;
  std::size_t out = open;
  std::size_t pos = open;
  while (open != std::string::npos) {
    const std::size_t close = text.find('>', open);
    if (close == std::string::npos) break;
    std::memmove(text.data() + out, text.data() + pos, open - pos);  // out <= pos
    out += open - pos;
    pos = close + 1;
    open = text.find('<', pos);
  }
  const std::size_t rest = text.size() - pos;
  std::memmove(text.data() + out, text.data() + pos, rest);
  text.resize(out + rest);
}

void RemoveBlanksInPlace(std::string& text) {
  DeleteSpaces(text, /*and_tabs=*/true);
  DeleteRepeatedly(text, "&nbsp;");
}

void RemoveLineBreaksInPlace(std::string& text) { DeleteRepeatedly(text, "\r\n"); }

std::string CleanAttributeText(std::string_view fragment) {
  std::string text(fragment);
  RemoveBlanksInPlace(text);
  RemoveLineBreaksInPlace(text);
  return text;
}

}  // namespace

std::string RemoveBlanks(std::string_view text) {
  std::string out(text);
  RemoveBlanksInPlace(out);
  return out;
}

std::string RemoveLineBreaks(std::string_view text) {
  std::string out(text);
  RemoveLineBreaksInPlace(out);
  return out;
}

std::string CleanCellText(std::string_view fragment) {
  std::string text(fragment);
  DeleteSpaces(text, /*and_tabs=*/false);
  StripMarkup(text);
  RemoveBlanksInPlace(text);
  RemoveLineBreaksInPlace(text);
  return text;
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
