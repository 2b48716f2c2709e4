#pragma once
// Reading codes (卡密) for a stock from what the seller imports or pastes: a text or CSV
// file, UTF-8 (with or without a BOM) or GBK, one code a line or one column of it.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fahuo {

struct CodeFile {
  bool ok = false;
  std::string error;               // UTF-8, when !ok
  bool was_utf8 = false;           // else the bytes were read as GBK
  std::vector<std::string> codes;  // GBK, in file order; repeats kept (the ledger counts them)
  size_t too_long = 0;             // lines refused: longer than kMaxCodeBytes
};

inline constexpr size_t kMaxCodeBytes = 1024;

// The codes in `bytes`: `column` 0 takes each whole line, n >= 1 the n-th comma-separated
// field (CSV quoting; a line without it is dropped). Blank lines and the blanks around a
// code are dropped. Refuses bytes that are no text (a NUL byte). Linear in the input.
CodeFile ReadCodeFile(std::string_view bytes, int column = 0);

// "导入 980 个，重复 20 个已跳过" (UTF-8), with the lines too long to be a code if any.
std::string ImportSummary(size_t added, size_t duplicates, size_t too_long);

}  // namespace fahuo
