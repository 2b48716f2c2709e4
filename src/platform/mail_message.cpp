#include "platform/mail_message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

namespace fahuo::mail {
namespace {

// Payload bytes per encoded word: "=?UTF-8?B?" + 60 base64 characters + "?=" is 72.
constexpr size_t kWordBytes = 45;
constexpr size_t kBodyLine = 76;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// RFC 5322 date in the local zone; written by hand because strftime's names follow the
// process locale, which Qt sets from the desktop.
std::string MailDate(std::time_t now) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&now, &local);
  long offset_min = local.tm_gmtoff / 60;
  char sign = offset_min < 0 ? '-' : '+';
  if (offset_min < 0) offset_min = -offset_min;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign,
                offset_min / 60, offset_min % 60);
  return text;
}

}  // namespace

std::string NewMessageId(const std::string& from, std::time_t now) {
  std::random_device device;
  std::mt19937_64 random((static_cast<unsigned long long>(device()) << 32) ^ device() ^
                         static_cast<unsigned long long>(now));
  char text[64];
  std::snprintf(text, sizeof text, "%llx.%016llx", static_cast<unsigned long long>(now),
                static_cast<unsigned long long>(random()));
  size_t at = from.rfind('@');
  std::string domain = at == std::string::npos ? "" : from.substr(at + 1);
  bool usable = !domain.empty();
  for (unsigned char c : domain) {
    if (!(std::isalnum(c) || c == '.' || c == '-')) usable = false;
  }
  return "<" + std::string(text) + "@" + (usable ? domain : "fahuo.localdomain") + ">";
}

std::string Base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                 static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string EncodeHeaderWords(const std::string& text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = std::min(text.size(), pos + kWordBytes);
    while (end < text.size() && end > pos + 1 &&
           IsContinuation(static_cast<unsigned char>(text[end]))) {
      --end;
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(text.substr(pos, end - pos)) + "?=";
    pos = end;
  }
  return out;
}

std::string ComposeMail(const std::string& subject, const std::string& body, const std::string& to,
                        const std::string& from, std::time_t now, const std::string& message_id) {
  std::string mail;
  mail += "From: " + from + "\r\n";
  mail += "To: " + to + "\r\n";
  mail += "Subject: " + EncodeHeaderWords(subject) + "\r\n";
  mail += "Date: " + MailDate(now) + "\r\n";
  mail += "Message-ID: " + (message_id.empty() ? NewMessageId(from, now) : message_id) + "\r\n";
  mail += "MIME-Version: 1.0\r\n";
  mail += "Content-Type: text/plain; charset=UTF-8\r\n";
  mail += "Content-Transfer-Encoding: base64\r\n";
  mail += "\r\n";
  const std::string encoded = Base64(body);
  for (size_t i = 0; i < encoded.size(); i += kBodyLine) {
    mail += encoded.substr(i, kBodyLine) + "\r\n";
  }
  return mail;
}

}  // namespace fahuo::mail
