#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>

namespace fahuo {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// One converter per direction and thread: opening one costs far more than converting a
// short text, and the bill list converts every cell it paints.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts with iconv, replacing an undecodable input byte by `replacement` and going on,
// so that hostile input never stops or truncates a conversion.
std::string Convert(const Converter& converter, std::string_view in, std::string_view replacement) {
  std::string out;
  if (in.empty()) return out;
  // ASCII reads the same in UTF-8 and GB18030.
  if (IsAscii(in)) return std::string(in);
  if (!converter.ok()) return out;
  iconv_t cd = converter.get();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state for every text
  out.reserve(in.size() * 3 / 2 + 8);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char buffer[4096];
  while (src_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
      out.append(replacement);
      ++src;
      --src_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buffer;
  size_t dst_left = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  out.append(buffer, static_cast<size_t>(dst - buffer));
  return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  thread_local const Converter to_gbk("GB18030", "UTF-8");
  return Convert(to_gbk, utf8, "?");
}

std::string GbkToUtf8(std::string_view gbk) {
  thread_local const Converter to_utf8("UTF-8", "GB18030");
  return Convert(to_utf8, gbk, "\xEF\xBF\xBD");
}

}  // namespace fahuo
