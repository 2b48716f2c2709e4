#include "delivery/bounce_mail.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <vector>

#include "delivery/reply_words.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

constexpr int kMaxDepth = 8;
constexpr size_t kMaxParts = 64;
constexpr size_t kMaxReasonChars = 120;  // the server's words in the ledger and the log

// GMime's one-time set-up (its charset tables), whichever thread asks first.
void InitGmime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct MessageRef {
  GMimeMessage* message = nullptr;
  explicit MessageRef(std::string_view bytes) {
    InitGmime();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_object_unref(stream);
    message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
  }
  ~MessageRef() {
    if (message) g_object_unref(message);
  }
  MessageRef(const MessageRef&) = delete;
  MessageRef& operator=(const MessageRef&) = delete;
};

bool Contains(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

std::string Header(GMimeObject* object, const char* name) {
  const char* value = g_mime_object_get_header(object, name);
  return value ? value : "";
}

std::string Subject(GMimeMessage* message) {
  const char* s = g_mime_message_get_subject(message);
  return s ? s : "";
}

// The first "<…>" of a header's value, without the brackets.
std::string FirstAngled(std::string_view text) {
  size_t open = text.find('<');
  if (open == std::string_view::npos) return {};
  size_t close = text.find('>', open);
  if (close == std::string_view::npos || close - open > 300) return {};
  return std::string(text.substr(open + 1, close - open - 1));
}

std::string Trim(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && std::isspace(static_cast<unsigned char>(text[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1]))) --b;
  return std::string(text.substr(a, b - a));
}

// The first mail address in `text` (lower case), skipping `except`.
std::string FirstAddress(std::string_view text, std::string_view except = {}) {
  auto atom = [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '+';
  };
  size_t at = 0;
  while ((at = text.find('@', at)) != std::string_view::npos) {
    size_t a = at, b = at + 1;
    while (a > 0 && atom(static_cast<unsigned char>(text[a - 1]))) --a;
    while (b < text.size() && atom(static_cast<unsigned char>(text[b]))) ++b;
    while (b > at + 1 && text[b - 1] == '.') --b;
    ++at;
    if (a == at - 1 || b == at || text.substr(at, b - at).find('.') == std::string_view::npos) {
      continue;
    }
    std::string address = AsciiLower(text.substr(a, b - a));
    if (!except.empty() && address == except) continue;
    return address;
  }
  return {};
}

bool IsGbkCharset(const char* charset) {
  if (!charset) return false;
  std::string c = AsciiLower(charset);
  return c == "gb2312" || c == "gbk" || c == "gb18030" || c == "x-gbk" || c == "euc-cn" ||
         c == "cp936";
}

// A leaf part's decoded content; text in UTF-8 (GBK and its kin through our own decoder,
// which takes GBK bytes a letter labels GB2312).
std::string PartText(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  GMimeStream* out = g_mime_stream_mem_new();
  g_mime_data_wrapper_write_to_stream(content, out);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
  std::string raw(reinterpret_cast<const char*>(bytes->data), bytes->len);
  g_object_unref(out);
  GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
  const char* charset = type ? g_mime_content_type_get_parameter(type, "charset") : nullptr;
  if (IsGbkCharset(charset)) return GbkToUtf8(raw);
  if (charset && AsciiLower(charset) != "utf-8" && AsciiLower(charset) != "us-ascii" &&
      GMIME_IS_TEXT_PART(part)) {
    char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    if (text) {
      std::string utf8 = text;
      g_free(text);
      return utf8;
    }
  }
  return raw;
}

// Text of an HTML letter: tags dropped, a few entities and line breaks kept.
std::string HtmlToText(std::string_view html) {
  std::string out;
  bool in_tag = false;
  for (size_t i = 0; i < html.size(); ++i) {
    char c = html[i];
    if (in_tag) {
      if (c == '>') in_tag = false;
      continue;
    }
    if (c == '<') {
      in_tag = true;
      std::string tag = AsciiLower(html.substr(i + 1, 3));
      if (tag.rfind("br", 0) == 0 || tag.rfind("p", 0) == 0 || tag.rfind("div", 0) == 0 ||
          tag.rfind("tr", 0) == 0 || tag.rfind("/p", 0) == 0 || tag.rfind("/di", 0) == 0 ||
          tag.rfind("/tr", 0) == 0) {
        out += '\n';
      }
      continue;
    }
    if (c == '&') {
      static const std::pair<const char*, const char*> kEntities[] = {
          {"&nbsp;", " "}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}, {"&quot;", "\""}};
      bool done = false;
      for (const auto& [name, value] : kEntities) {
        if (html.substr(i, std::char_traits<char>::length(name)) == name) {
          out += value;
          i += std::char_traits<char>::length(name) - 1;
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    out += c;
  }
  return out;
}

// One field of a delivery-status group ("Status: 5.1.1"), unfolded; lower-case name.
struct Field {
  std::string name, value;
};
std::vector<std::vector<Field>> StatusGroups(std::string_view text) {
  std::vector<std::vector<Field>> groups(1);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t nl = text.find('\n', pos);
    std::string_view line = text.substr(pos, nl == std::string_view::npos ? text.npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) {
      if (!groups.back().empty()) groups.emplace_back();
      continue;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !groups.back().empty()) {
      groups.back().back().value += " " + Trim(line);
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    groups.back().push_back(
        {AsciiLower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1))});
  }
  return groups;
}

// "rfc822; a@b.c" → "a@b.c"; "smtp; 550 …" → "550 …".
std::string AfterType(const std::string& value) {
  size_t semi = value.find(';');
  return Trim(semi == std::string::npos ? value : std::string_view(value).substr(semi + 1));
}

std::string Shortened(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  text = Trim(text);
  // Cut at a character boundary of UTF-8.
  size_t chars = 0, i = 0;
  while (i < text.size() && chars < kMaxReasonChars) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    i += c < 0x80 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
    ++chars;
  }
  if (i < text.size()) text = text.substr(0, std::min(i, text.size())) + "…";
  return text;
}

struct Reading {
  BounceFacts facts;
  bool report = false;      // a delivery-status part was found
  bool failed = false;      // a recipient's Action: failed
  bool delayed = false;     // a recipient's Action: delayed
  std::string letter_text;  // the text of a provider's letter (UTF-8)
  size_t parts = 0;
};

void TakeOriginalHeaders(GMimeMessage* original, Reading& r) {
  if (!original) return;
  const char* id = g_mime_message_get_message_id(original);
  if (id && r.facts.original_message_id.empty()) r.facts.original_message_id = id;
  if (r.facts.original_subject.empty()) r.facts.original_subject = Subject(original);
  if (r.facts.recipient.empty()) {
    r.facts.recipient = FirstAddress(Header(GMIME_OBJECT(original), "To"));
  }
}

void ReadStatus(const std::string& text, Reading& r) {
  r.report = true;
  for (const std::vector<Field>& group : StatusGroups(text)) {
    std::string recipient, action, status, diagnostic;
    for (const Field& f : group) {
      if (f.name == "final-recipient" || (f.name == "original-recipient" && recipient.empty())) {
        recipient = FirstAddress(AfterType(f.value));
      } else if (f.name == "action") {
        action = AsciiLower(f.value);
      } else if (f.name == "status") {
        status = f.value.substr(0, 16);
      } else if (f.name == "diagnostic-code") {
        diagnostic = AfterType(f.value);
      }
    }
    if (action.empty()) continue;
    if (action.rfind("failed", 0) == 0) {
      if (!r.failed) {
        r.facts.recipient = recipient;
        r.facts.status = status;
        r.facts.diagnostic = Shortened(diagnostic);
      }
      r.failed = true;
    } else if (action.rfind("delayed", 0) == 0) {
      r.delayed = true;
    }
  }
}

void Walk(GMimeObject* object, int depth, Reading& r) {
  if (!object || depth > kMaxDepth || ++r.parts > kMaxParts) return;
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multi = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multi);
    for (int i = 0; i < count; ++i) Walk(g_mime_multipart_get_part(multi, i), depth + 1, r);
    return;
  }
  if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (type && g_mime_content_type_is_type(type, "message", "delivery-status")) {
      // Some parsers treat the status as a message: its header block is the first group.
      if (inner) {
        char* headers = g_mime_object_get_headers(GMIME_OBJECT(inner), nullptr);
        if (headers) {
          ReadStatus(headers, r);
          g_free(headers);
        }
      }
      return;
    }
    TakeOriginalHeaders(inner, r);
    return;
  }
  if (!GMIME_IS_PART(object) || !type) return;
  GMimePart* part = GMIME_PART(object);
  if (g_mime_content_type_is_type(type, "message", "delivery-status") ||
      g_mime_content_type_is_type(type, "message", "global-delivery-status")) {
    ReadStatus(PartText(part), r);
  } else if (g_mime_content_type_is_type(type, "text", "rfc822-headers") ||
             g_mime_content_type_is_type(type, "message", "global-headers")) {
    MessageRef original(PartText(part) + "\r\n");
    TakeOriginalHeaders(original.message, r);
  } else if (g_mime_content_type_is_type(type, "text", "*") && r.letter_text.size() < 256 * 1024) {
    std::string text = PartText(part);
    if (g_mime_content_type_is_type(type, "text", "html")) text = HtmlToText(text);
    r.letter_text += text + "\n";
  }
}

// The value after one of `labels` on its line ("收件人：a@b.c" → "a@b.c").
std::string AfterLabel(const std::string& text, std::initializer_list<const char*> labels) {
  for (const char* label : labels) {
    size_t at = text.find(label);
    if (at == std::string::npos) continue;
    at += std::char_traits<char>::length(label);
    for (const char* sep : {"：", ":", " "}) {
      const size_t n = std::char_traits<char>::length(sep);
      while (text.compare(at, n, sep) == 0) at += n;
    }
    size_t end = text.find('\n', at);
    std::string value =
        Trim(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (!value.empty()) return value;
  }
  return {};
}

bool IsAutoReply(GMimeMessage* message) {
  const std::string auto_submitted = AsciiLower(Header(GMIME_OBJECT(message), "Auto-Submitted"));
  if (Contains(auto_submitted, "auto-replied")) return true;
  const std::string subject = Subject(message);
  const std::string lower = AsciiLower(subject);
  return Contains(subject, "自动回复") || lower.rfind("auto:", 0) == 0 ||
         Contains(lower, "automatic reply") || Contains(lower, "out of office") ||
         !Header(GMIME_OBJECT(message), "X-Autoreply").empty();
}

// A sender or subject that says the mail system returns a letter.
bool SaysReturned(GMimeMessage* message) {
  const std::string from = AsciiLower(Header(GMIME_OBJECT(message), "From"));
  const std::string subject = Subject(message);
  const std::string lower = AsciiLower(subject);
  return Contains(from, "mailer-daemon") || Contains(from, "postmaster") ||
         Contains(subject, "退信") || Contains(lower, "undeliver") ||
         Contains(lower, "delivery status notification") || Contains(lower, "returned mail") ||
         Contains(lower, "delivery failure") || Contains(lower, "failure notice") ||
         Contains(lower, "mail delivery failed") || Contains(lower, "delivery has failed");
}

}  // namespace

bool LooksLikeBounce(std::string_view header_bytes) {
  MessageRef parsed(std::string(header_bytes) + "\r\n");
  if (!parsed.message) return false;
  // A delivery report first: some mail systems mark theirs auto-replied too.
  GMimeObject* body = g_mime_message_get_mime_part(parsed.message);
  GMimeContentType* type = body ? g_mime_object_get_content_type(body) : nullptr;
  const char* report_type = type ? g_mime_content_type_get_parameter(type, "report-type") : nullptr;
  if (type && g_mime_content_type_is_type(type, "multipart", "report") && report_type &&
      Contains(AsciiLower(report_type), "delivery-status")) {
    return true;
  }
  if (IsAutoReply(parsed.message)) return false;
  return SaysReturned(parsed.message);
}

BounceFacts ReadBounce(std::string_view message_bytes) {
  MessageRef parsed(message_bytes);
  if (!parsed.message) return {};
  GMimeMessage* message = parsed.message;
  Reading r;
  Walk(g_mime_message_get_mime_part(message), 0, r);
  GDateTime* date = g_mime_message_get_date(message);
  if (date) r.facts.date = g_date_time_to_unix(date);
  // Our Message-ID in the bounce's own threading headers.
  if (r.facts.original_message_id.empty()) {
    r.facts.original_message_id = FirstAngled(Header(GMIME_OBJECT(message), "In-Reply-To"));
  }
  if (r.report) {
    // A report that only says the mail is delayed is no bounce: it may still arrive.
    if (!r.failed) return {};
    r.facts.bounce = true;
    if (r.facts.recipient.empty()) r.facts.recipient = FirstAddress(r.letter_text);
    return r.facts;
  }
  // A letter without a report that answers by itself is an auto-reply, whatever it says.
  if (IsAutoReply(message) || !SaysReturned(message)) return {};
  // A provider's own letter: its text names the address, the reason and the subject.
  const std::string& text = r.letter_text;
  const std::string from = FirstAddress(Header(GMIME_OBJECT(message), "From"));
  std::string recipient =
      FirstAddress(AfterLabel(text, {"收件人", "无法发送到", "Recipient", "recipient"}));
  if (recipient.empty()) recipient = FirstAddress(text, from);
  if (recipient.empty()) return {};
  r.facts.recipient = recipient;
  if (r.facts.original_subject.empty()) {
    r.facts.original_subject = AfterLabel(text, {"邮件主题", "主题", "Subject"});
  }
  std::string reason = AfterLabel(text, {"退信原因", "失败原因", "原因", "Reason"});
  if (reason.empty()) reason = text;
  r.facts.diagnostic = Shortened(reason);
  r.facts.bounce = true;
  return r.facts;
}

std::string BounceReason(const BounceFacts& facts) {
  const std::string words = AsciiLower(facts.diagnostic);
  const std::string& status = facts.status;
  auto has = [&words](std::initializer_list<const char*> list) {
    for (const char* w : list) {
      if (Contains(words, w)) return true;
    }
    return false;
  };
  std::string reason;
  if (status == "5.1.1" || status == "5.1.10" ||
      has({"user unknown", "unknown user", "no such user", "does not exist", "not exist", "不存在",
           "mailbox not found", "invalid recipient", "5.1.1"})) {
    reason = "地址不存在";
  } else if (status == "5.2.2" || status == "4.2.2" ||
             has({"quota", "mailbox full", "mailbox is full", "已满", "5.2.2", "over quota"})) {
    reason = "邮箱已满";
  } else if (has({"spam", "垃圾"})) {
    reason = "被当作垃圾邮件拒收";
  } else if (status == "5.3.4" || has({"too large", "too big", "过大", "5.3.4", "size limit"})) {
    reason = "邮件过大";
  } else {
    reason = facts.diagnostic.empty() ? std::string("邮件被退回") : facts.diagnostic;
  }
  std::string code = status;
  if (code.empty()) {
    // The server's reply code where the words carry one ("550 …").
    const std::string& d = facts.diagnostic;
    if (d.size() >= 3 && std::isdigit(static_cast<unsigned char>(d[0])) &&
        std::isdigit(static_cast<unsigned char>(d[1])) &&
        std::isdigit(static_cast<unsigned char>(d[2])) && reason != d) {
      code = d.substr(0, 3);
    }
  }
  if (!code.empty()) reason += "（" + code + "）";
  return Utf8ToGbk(reason);
}

}  // namespace fahuo
