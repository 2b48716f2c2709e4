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

bool IsQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// The plain ASCII characters a pattern starts with, conservatively: stops at anything with
// a meaning in the syntax, and gives back a character that a quantifier applies to.
std::string LeadingLiteral(std::string_view pattern) {
  // With an alternative anywhere, a match need not start with the leading text.
  if (pattern.find('|') != std::string_view::npos) return {};
  static constexpr std::string_view kSyntax = "\\.^$|?*+()[]{}#";
  std::size_t n = 0;
  while (n < pattern.size()) {
    const auto c = static_cast<unsigned char>(pattern[n]);
    if (c < 0x20 || c > 0x7E || c == ' ' || kSyntax.find(pattern[n]) != std::string_view::npos) {
      break;
    }
    ++n;
  }
  if (n > 0 && n < pattern.size() && IsQuantifier(pattern[n])) --n;
  return std::string(pattern.substr(0, n));
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Position of the first occurrence of `literal` (non-empty, already folded if `fold`) in
// `text` at or after `pos`, or npos.
std::size_t FindLiteral(std::string_view text, std::size_t pos, std::string_view literal,
                        bool fold) {
  if (!fold) return text.find(literal, pos);
  const char first = literal[0];
  const bool first_is_letter = first >= 'a' && first <= 'z';
  while (pos + literal.size() <= text.size()) {
    std::size_t at = pos;
    if (first_is_letter) {
      while (at < text.size() && FoldAscii(text[at]) != first) ++at;
    } else {
      at = text.find(first, pos);
    }
    if (at == std::string_view::npos || at + literal.size() > text.size()) break;
    std::size_t i = 1;
    while (i < literal.size() && FoldAscii(text[at + i]) == literal[i]) ++i;
    if (i == literal.size()) return at;
    pos = at + 1;
  }
  return std::string_view::npos;
}

}  // namespace

Regex::Regex(const std::string& pattern, Options options)
    : re_(std::make_unique<RE2>(pattern, ToRe2Options(options))),
      literal_start_(LeadingLiteral(pattern)),
      case_insensitive_(options.case_insensitive) {
  if (case_insensitive_) {
    for (char& c : literal_start_) c = FoldAscii(c);
  }
}

Regex::~Regex() = default;

bool Regex::ok() const { return re_->ok(); }

std::vector<std::string_view> Regex::FindAll(std::string_view text, std::size_t limit) const {
  std::vector<std::string_view> matches;
  if (!re_->ok()) return matches;
  const re2::StringPiece whole(text.data(), text.size());
  std::size_t pos = 0;
  while (matches.size() < limit && pos <= text.size()) {
    re2::StringPiece match;
    bool found = false;
    if (!literal_start_.empty()) {
      // The leftmost match can only start at the next occurrence of the literal start.
      const std::size_t start = FindLiteral(text, pos, literal_start_, case_insensitive_);
      if (start == std::string_view::npos) break;
      found = re_->Match(whole, start, text.size(), RE2::ANCHOR_START, &match, 1);
      if (!found) pos = start + 1;
    }
    // One search from `pos`; a failure means no start at or after `pos` matches, so
    // retrying from later positions could only waste time (quadratically so).
    if (!found && !re_->Match(whole, pos, text.size(), RE2::UNANCHORED, &match, 1)) break;
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
