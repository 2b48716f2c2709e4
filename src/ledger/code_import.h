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
// A code file beyond this is no list of codes a seller keeps (a video, a disk image).
inline constexpr size_t kMaxCodeFileBytes = size_t{64} << 20;

// The codes in `bytes`: `column` 0 takes each whole line, n >= 1 the n-th comma-separated
// field (CSV quoting; a line without it is dropped). Blank lines and the blanks around a
// code are dropped. Refuses bytes that are no text (a NUL byte). Linear in the input.
CodeFile ReadCodeFile(std::string_view bytes, int column = 0);

// The codes of the file at `path`, as ReadCodeFile. Only a regular file of at most
// kMaxCodeFileBytes is read, and opening never blocks: a FIFO, a device or a folder is
// refused at once, with the reason in `error`. May take a while: not on a thread that
// others wait for.
CodeFile ReadCodeFileAt(const std::string& path, int column = 0);

// "导入 980 个，重复 20 个已跳过" (UTF-8), with the lines too long to be a code if any.
std::string ImportSummary(size_t added, size_t duplicates, size_t too_long);

}  // namespace fahuo
