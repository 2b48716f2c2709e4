#pragma once
// Clean-up of records-page fragments into plain values: literal search and deletion on GBK
// byte strings, no HTML parsing. Markers are case-sensitive. Every function is pure and
// linear in its input, whatever the bytes are.
#include <string>
#include <string_view>

namespace fahuo {

// `text` without half-width spaces, full-width spaces (the GBK character A1 A1, recognised
// only as a whole character), TAB characters and "&nbsp;" entities (including ones that
// only form once an inner one is gone, as in "&nb&nbsp;sp;").
std::string RemoveBlanks(std::string_view text);

// `text` without CR LF pairs (including pairs formed by deleting an inner pair, as in
// CR CR LF LF). A lone CR or LF stays.
std::string RemoveLineBreaks(std::string_view text);

// The visible text of a table-cell fragment: spaces deleted, every "<...>" span deleted
// (a "<" without a later ">" stays with all that follows it; a ">" before the first "<"
// stays), then RemoveBlanks and RemoveLineBreaks. Entities other than "&nbsp;" stay.
std::string CleanCellText(std::string_view fragment);

// The value of the first `title="` attribute of `fragment` (after RemoveBlanks and
// RemoveLineBreaks), ending at the first `">` from the marker on; empty if there is none.
std::string ExtractTitleValue(std::string_view fragment);

// The value of the first `href="` attribute of `fragment` (after RemoveBlanks and
// RemoveLineBreaks), ending at the next double quote; empty if there is none.
std::string ExtractHrefValue(std::string_view fragment);

}  // namespace fahuo
