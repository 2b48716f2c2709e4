#include "ledger/code_import.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

// Whether `text` is well-formed UTF-8 (shortest forms, no surrogates). GBK text of any
// length is almost never that, so this tells the two apart.
bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    unsigned min = 0;
    unsigned value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, min = 0x80, value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, min = 0x800, value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000, value = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\v\f";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The n-th (from 1) comma-separated field of a CSV line, unquoted; false when it has fewer.
// Commas and quotes never occur inside a GBK character, so bytes may be compared.
bool CsvField(std::string_view line, int column, std::string& field) {
  int index = 1;
  size_t i = 0;
  for (;;) {
    field.clear();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && line[i] != ',') ++i;  // anything after the closing quote
    } else {
      const size_t end = std::min(line.find(',', i), line.size());
      field.assign(line.substr(i, end - i));
      i = end;
    }
    if (index == column) return true;
    if (i >= line.size()) return false;
    ++i;  // the comma
    ++index;
  }
}

}  // namespace

CodeFile ReadCodeFile(std::string_view bytes, int column) {
  CodeFile out;
  if (bytes.find('\0') != std::string_view::npos) {
    out.error = "不是文本文件（含有 NUL 字节；UTF-16 文件请另存为 UTF-8）";
    return out;
  }
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::string converted;
  if (bytes.starts_with(kBom)) {
    out.was_utf8 = true;
    converted = Utf8ToGbk(bytes.substr(kBom.size()));
    bytes = converted;
  } else if (IsUtf8(bytes)) {
    out.was_utf8 = true;
    converted = Utf8ToGbk(bytes);
    bytes = converted;
  }
  // Line ends (CR, LF, CR LF) never occur inside a GBK character either.
  std::string field;
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (column > 0) {
      if (!CsvField(line, column, field)) continue;
      line = field;
    }
    line = Trim(line);
    if (line.empty()) continue;
    if (line.size() > kMaxCodeBytes) {
      ++out.too_long;
      continue;
    }
    out.codes.emplace_back(line);
  }
  out.ok = true;
  return out;
}

CodeFile ReadCodeFileAt(const std::string& path, int column) {
  std::string bytes;
  FileRefusal why = FileRefusal::kNone;
  switch (ReadSmallRegularFile(path, kMaxCodeFileBytes, bytes, &why)) {
    case FileRead::kRead:
      return ReadCodeFile(bytes, column);
    case FileRead::kMissing: {
      CodeFile missing;
      missing.error = "文件不存在";
      return missing;
    }
    case FileRead::kUnreadable:
      break;
  }
  CodeFile refused;
  switch (why) {
    case FileRefusal::kNotRegular:
      refused.error = "只能导入普通文件（文本或 CSV）";
      break;
    case FileRefusal::kTooLarge:
      refused.error = "文件超过 " + std::to_string(kMaxCodeFileBytes >> 20) + " MB";
      break;
    case FileRefusal::kNone:
    case FileRefusal::kNotReadable:
      refused.error = "无法读取文件（没有权限或读取出错）";
      break;
  }
  return refused;
}

std::string ImportSummary(size_t added, size_t duplicates, size_t too_long) {
  std::string text = "导入 " + std::to_string(added) + " 个";
  if (duplicates > 0) text += "，重复 " + std::to_string(duplicates) + " 个已跳过";
  if (too_long > 0) text += "，过长 " + std::to_string(too_long) + " 行未导入";
  return text;
}

}  // namespace fahuo
