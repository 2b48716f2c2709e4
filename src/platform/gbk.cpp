#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>

namespace fahuo {
namespace {

// Converts with iconv, replacing an undecodable input byte by `replacement` and going on,
// so that hostile input never stops or truncates a conversion.
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement) {
  std::string out;
  if (in.empty()) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
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
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) { return Convert("GB18030", "UTF-8", utf8, "?"); }

std::string GbkToUtf8(std::string_view gbk) {
  return Convert("UTF-8", "GB18030", gbk, "\xEF\xBF\xBD");
}

}  // namespace fahuo
