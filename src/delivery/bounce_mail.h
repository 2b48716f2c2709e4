#pragma once
// Telling a bounced mail from every other letter in the seller's inbox, and reading what it
// says: which address could not be reached, why, and which of our mails it was. Reads
// standard delivery reports (multipart/report; report-type=delivery-status) and the
// providers' own letters without a report part (QQ Mail's "来自qq.com的退信", 163's "系统退信").
// An auto-reply, a delay notice or an ordinary letter is never a bounce. The input is
// untrusted mail: any bytes give an answer, never a crash; sizes are the caller's to cap.
#include <cstdint>
#include <string>
#include <string_view>

namespace fahuo {

// Whether a message's header section alone looks like a bounce (the body is worth fetching).
bool LooksLikeBounce(std::string_view header_bytes);

struct BounceFacts {
  bool bounce = false;
  std::string recipient;            // the address that could not be reached (ASCII, lower case)
  std::string status;               // "5.1.1", when the report gives one
  std::string diagnostic;           // the server's words (UTF-8), shortened
  std::string original_message_id;  // of our mail, without the angle brackets
  std::string original_subject;     // UTF-8
  int64_t date = 0;                 // the bounce's own Date (Unix seconds), 0 when unreadable
};

BounceFacts ReadBounce(std::string_view message_bytes);

// Why, in the seller's words (GBK): "地址不存在", "邮箱已满", "被当作垃圾邮件拒收", "邮件过大",
// or the server's words shortened; the status code follows in brackets when there is one.
std::string BounceReason(const BounceFacts& facts);

}  // namespace fahuo
