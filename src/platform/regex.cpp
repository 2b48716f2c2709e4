#include "platform/regex.h"

#include <re2/re2.h>

namespace fahuo {
namespace {

RE2::Options ToRe2Options(Regex::Options options) {
  RE2::Options re2_options;
  // Pages are GBK bytes; Latin-1 keeps every byte a character of its own, so no input is
  // rejected as invalid UTF-8 and views map one-to-one onto the text.
  re2_options.set_encoding(RE2::Options::EncodingLatin1);
  re2_options.set_case_sensitive(!options.case_insensitive);
  re2_options.set_dot_nl(options.dot_matches_newline);
  re2_options.set_log_errors(false);
  return re2_options;
}

}  // namespace

Regex::Regex(const std::string& pattern, Options options)
    : re_(std::make_unique<RE2>(pattern, ToRe2Options(options))) {}

Regex::~Regex() = default;

bool Regex::ok() const { return re_->ok(); }

std::vector<std::string_view> Regex::FindAll(std::string_view text, std::size_t limit) const {
  std::vector<std::string_view> matches;
  if (!re_->ok()) return matches;
  const re2::StringPiece whole(text.data(), text.size());
  std::size_t pos = 0;
  while (matches.size() < limit && pos <= text.size()) {
    re2::StringPiece match;
    // One search from `pos`; a failure means no start at or after `pos` matches, so
    // retrying from later positions could only waste time (quadratically so).
    if (!re_->Match(whole, pos, text.size(), RE2::UNANCHORED, &match, 1)) break;
    const auto begin = static_cast<std::size_t>(match.data() - text.data());
    matches.emplace_back(text.substr(begin, match.size()));
    const std::size_t end = begin + match.size();
    // An empty match would be found again at the same place: step over one byte.
    pos = match.empty() ? end + 1 : end;
  }
  return matches;
}

const Regex& RowPattern() {
  static const Regex pattern("<tr.*?tr>", {.case_insensitive = true, .dot_matches_newline = true});
  return pattern;
}

const Regex& CellPattern() {
  static const Regex pattern("<td.*?td>", {.case_insensitive = true, .dot_matches_newline = true});
  return pattern;
}

const Regex& AnchorPattern() {
  static const Regex pattern("<a.*?a>", {.case_insensitive = true, .dot_matches_newline = true});
  return pattern;
}

const Regex& DigitPattern() {
  static const Regex pattern("\\d{3,10}\\d", {});
  return pattern;
}

}  // namespace fahuo
