#pragma once
// Regular expressions on byte strings (RE2, Latin-1 mode: bytes stay bytes; linear time).
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace fahuo {

class Regex {
 public:
  struct Options {
    bool case_insensitive = false;
    bool dot_matches_newline = false;
  };
  Regex(const std::string& pattern, Options options);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  bool ok() const;
  // All non-overlapping leftmost-first matches, left to right, as views into `text`; at most
  // `limit` of them. Stops at the first failed search, since no later start can match
  // either. For patterns of the shape "literal, lazy any, literal" (all of ours) the whole
  // call reads each byte about once, whatever the text. An invalid pattern finds nothing.
  std::vector<std::string_view> FindAll(
      std::string_view text, std::size_t limit = std::numeric_limits<std::size_t>::max()) const;

 private:
  std::unique_ptr<re2::RE2> re_;
  // Every match starts with this text (ASCII; case-folded when case-insensitive). It lets
  // a match be found by a literal scan plus one forward anchored search, instead of
  // RE2's forward search plus a backward search for the start.
  std::string literal_start_;
  bool case_insensitive_ = false;
};

// The page patterns, compiled once per process (thread-safe): case-insensitive, lazy,
// dot matching CR and LF.
const Regex& RowPattern();     // "<tr.*?tr>"
const Regex& CellPattern();    // "<td.*?td>"
const Regex& AnchorPattern();  // "<a.*?a>"
// "\d{3,10}\d" with default options (case-sensitive; dot irrelevant).
const Regex& DigitPattern();

}  // namespace fahuo
