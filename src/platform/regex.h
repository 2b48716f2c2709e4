#pragma once
// Regular expressions on byte strings (RE2, Latin-1 mode: bytes stay bytes; linear time).
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
  // All non-overlapping matches, left to right, as views into `text`.
  std::vector<std::string_view> FindAll(std::string_view text) const;

 private:
  std::unique_ptr<re2::RE2> re_;
};

// The page patterns, compiled once per process (thread-safe): case-insensitive, lazy,
// dot matching CR and LF.
const Regex& RowPattern();    // "<tr.*?tr>"
const Regex& CellPattern();   // "<td.*?td>"
const Regex& AnchorPattern(); // "<a.*?a>"
// "\d{3,10}\d" with default options.
const Regex& DigitPattern();

}  // namespace fahuo
