#include "delivery/recipient.h"

#include <optional>
#include <vector>

#include "delivery/mail_domain.h"
#include "platform/gbk.h"
#include "platform/gbk_chars.h"
#include "platform/regex.h"

namespace fahuo {
namespace {

constexpr size_t kMaxLocalPart = 64;
constexpr size_t kMaxDomain = 253;
constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxMailbox = 254;

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAtext(unsigned char c) {
  if (IsAsciiAlnum(c)) return true;
  for (char s : std::string_view("!#$%&'*+-/=?^_`{|}~")) {
    if (c == static_cast<unsigned char>(s)) return true;
  }
  return false;
}
bool IsLdh(unsigned char c) { return IsAsciiAlnum(c) || c == '-'; }
bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One character of GBK text: its bytes.
using Char = std::string_view;

std::vector<Char> Characters(std::string_view text) {
  std::vector<Char> chars;
  for (size_t i = 0; i < text.size();) {
    size_t length = GbkCharLength(text, i);
    chars.push_back(text.substr(i, length));
    i += length;
  }
  return chars;
}

bool IsAscii(Char c) { return c.size() == 1 && static_cast<unsigned char>(c[0]) < 0x80; }
bool IsByte(Char c, char b) { return c.size() == 1 && c[0] == b; }

// A two-byte character that can stand in an internationalised domain label: a letter or
// ideograph, not one of the symbol rows (full-width punctuation, "。", "＠", box drawing).
bool IsDomainLetter(Char c) {
  if (c.size() != 2) return false;  // four-byte characters are emoji and rare signs
  unsigned char lead = static_cast<unsigned char>(c[0]);
  return lead >= 0x81 && lead != 0xFF && !(lead >= 0xA1 && lead <= 0xA9);
}

// Dot-atom of ASCII atext: "a.b+c", no leading, trailing or doubled dot.
bool IsLocalPart(std::string_view local) {
  if (local.empty() || local.size() > kMaxLocalPart) return false;
  if (local.front() == '.' || local.back() == '.') return false;
  for (size_t i = 0; i < local.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(local[i]);
    if (c == '.') {
      if (local[i + 1] == '.') return false;
    } else if (!IsAtext(c)) {
      return false;
    }
  }
  return true;
}

// Labels of ASCII letters, digits and hyphens, or of Chinese letters; a top-level label of
// ASCII letters, punycode, or Chinese letters only ("com谢谢" is text glued to an address).
bool IsDomain(std::string_view domain) {
  if (domain.empty() || domain.size() > kMaxDomain) return false;
  std::vector<std::vector<Char>> labels(1);
  for (Char c : Characters(domain)) {
    if (IsByte(c, '.')) {
      labels.emplace_back();
    } else {
      labels.back().push_back(c);
    }
  }
  if (labels.size() < 2) return false;
  for (const std::vector<Char>& label : labels) {
    if (label.empty() || IsByte(label.front(), '-') || IsByte(label.back(), '-')) return false;
    size_t bytes = 0;
    for (Char c : label) {
      bytes += c.size();
      bool ok = IsAscii(c) ? IsLdh(static_cast<unsigned char>(c[0])) : IsDomainLetter(c);
      if (!ok) return false;
    }
    if (bytes > kMaxLabel) return false;
  }
  const std::vector<Char>& top = labels.back();
  bool all_letters = true, all_chinese = true;
  std::string top_text;
  for (Char c : top) {
    all_letters = all_letters && IsAscii(c) && IsAsciiAlpha(static_cast<unsigned char>(c[0]));
    all_chinese = all_chinese && !IsAscii(c);
    top_text += c;
  }
  for (char& c : top_text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  const bool punycode = top_text.starts_with("xn--") && top_text.size() > 4 && IsAscii(top.back());
  return (all_letters && top.size() >= 2) || all_chinese || punycode;
}

// The address in a word that holds exactly one at-sign: the whole word, or the ASCII
// address glued between other characters of it.
std::optional<std::string_view> AddressInWord(std::string_view word) {
  if (IsMailbox(word)) return word;
  std::vector<Char> chars = Characters(word);
  size_t at = 0;
  while (at < chars.size() && !IsByte(chars[at], '@')) ++at;
  if (at == chars.size()) return std::nullopt;
  auto local_char = [&](size_t i) {
    return IsAscii(chars[i]) &&
           (IsAtext(static_cast<unsigned char>(chars[i][0])) || chars[i][0] == '.');
  };
  auto domain_char = [&](size_t i) {
    return IsAscii(chars[i]) &&
           (IsLdh(static_cast<unsigned char>(chars[i][0])) || chars[i][0] == '.');
  };
  size_t first = at;
  while (first > 0 && local_char(first - 1)) --first;
  size_t end = at + 1;
  while (end < chars.size() && domain_char(end)) ++end;
  while (end > at + 1 && IsByte(chars[end - 1], '.')) --end;  // the full stop of a sentence
  // Angle brackets enclose the address exactly, or they are an attempt to smuggle text
  // into the mail command ("<x@y.example>NOTIFY=…").
  const bool opens = first > 0 && IsByte(chars[first - 1], '<');
  const bool closes = end < chars.size() && IsByte(chars[end], '>');
  if (opens || closes) {
    if (!opens || !closes) return std::nullopt;
    if (end + 1 < chars.size() && IsAscii(chars[end + 1])) return std::nullopt;
  }
  const size_t begin_byte = static_cast<size_t>(chars[first].data() - word.data());
  const size_t end_byte =
      static_cast<size_t>(chars[end - 1].data() - word.data()) + chars[end - 1].size();
  std::string_view core = word.substr(begin_byte, end_byte - begin_byte);
  if (!IsMailbox(core)) return std::nullopt;
  return core;
}

// The words of a text, split at ASCII blanks and the full-width blank.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t start = 0;
  for (size_t i = 0; i <= text.size();) {
    size_t length = i < text.size() ? GbkCharLength(text, i) : 1;
    bool blank = i == text.size() ||
                 (length == 1 && IsBlank(static_cast<unsigned char>(text[i]))) ||
                 text.substr(i, length) == "\xA1\xA1";
    if (blank) {
      if (i > start) words.push_back(text.substr(start, i - start));
      start = i + length;
    }
    i += length;
  }
  return words;
}

size_t CountAtSigns(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += GbkCharLength(text, i)) count += text[i] == '@';
  return count;
}

Recipient AddressFromName(std::string_view name) {
  std::optional<std::string_view> address;
  size_t words_with_at = 0;
  for (std::string_view word : Words(name)) {
    const size_t at_signs = CountAtSigns(word);
    if (at_signs == 0) continue;
    ++words_with_at;
    if (at_signs == 1) address = AddressInWord(word);
  }
  if (words_with_at != 1 || !address) return {Recipient::Kind::kSkipInvalidAddress, {}};
  return {Recipient::Kind::kMailAddress, std::string(*address)};
}

// GB18030 four-byte characters carry ASCII digit bytes (an emoji, "¥"): blank them out so
// that they never join a run of real digits.
std::string BlankFourByteCharacters(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size();) {
    size_t length = GbkCharLength(out, i);
    if (length == 4) out.replace(i, 4, 4, ' ');
    i += length;
  }
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// GBK's row 0xA3 holds the full-width forms of ASCII, in ASCII's order (0xA3C0 is "＠"):
// the letters, digits and the marks an address uses are taken as their ASCII selves. The
// full-width blank becomes a blank.
std::string HalfWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t length = GbkCharLength(text, i);
    if (length == 2 && static_cast<unsigned char>(text[i]) == 0xA3) {
      const auto ascii = static_cast<unsigned char>(static_cast<unsigned char>(text[i + 1]) - 0x80);
      if (IsAsciiAlnum(ascii) || ascii == '@' || ascii == '-' || ascii == '_') {
        out += static_cast<char>(ascii);
        i += length;
        continue;
      }
    }
    if (text.substr(i, length) == "\xA1\xA1") {
      out += ' ';
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

bool IsOneOf(const std::string& c, std::initializer_list<std::string_view> set) {
  for (std::string_view s : set) {
    if (c == s) return true;
  }
  return false;
}
bool IsAsciiWhere(const std::string& c, bool (*test)(unsigned char)) {
  return c.size() == 1 && test(static_cast<unsigned char>(c[0]));
}
bool IsBlankChar(const std::string& c) { return IsAsciiWhere(c, IsBlank); }

// The top-level labels a blank or a comma may stand before in a typed domain ("qq. com").
bool IsCommonTld(const std::vector<std::string>& chars, size_t from, size_t to) {
  std::string label;
  for (size_t i = from; i < to; ++i) label += chars[i];
  for (char& c : label) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return label == "com" || label == "cn" || label == "net" || label == "org";
}

// The name with an address's input-method slips undone (see RecipientFor).
std::string CleanTypedAddress(std::string_view name) {
  const std::string half = HalfWidth(name);
  if (!GbkContains(half, '@')) return half;
  std::vector<std::string> c;
  for (Char ch : Characters(half)) c.emplace_back(ch);
  const std::string& full_stop = FAHUO_GBK("。");
  const std::string& wide_dot = FAHUO_GBK("．");
  const std::string& wide_comma = FAHUO_GBK("，");
  auto alnum = [&](size_t i) { return i < c.size() && IsAsciiWhere(c[i], IsAsciiAlnum); };
  auto ldh = [&](size_t i) { return i < c.size() && IsAsciiWhere(c[i], IsLdh); };
  for (size_t i = 1; i + 1 < c.size(); ++i) {
    if ((c[i] == full_stop || c[i] == wide_dot) && alnum(i - 1) && alnum(i + 1)) c[i] = ".";
  }
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i] != "@") continue;
    size_t k = i;
    while (k > 0 && IsBlankChar(c[k - 1])) --k;
    if (k < i && k > 0 && IsAsciiWhere(c[k - 1], IsAtext)) {
      c.erase(c.begin() + static_cast<std::ptrdiff_t>(k),
              c.begin() + static_cast<std::ptrdiff_t>(i));
      i = k;
    }
    k = i + 1;
    while (k < c.size() && IsBlankChar(c[k])) ++k;
    if (k > i + 1 && ldh(k)) {
      c.erase(c.begin() + static_cast<std::ptrdiff_t>(i + 1),
              c.begin() + static_cast<std::ptrdiff_t>(k));
    }
    // The domain, label by label: a separator other than a plain dot joins only before a
    // common TLD, so "a@qq.com. my qq is …" never becomes a domain "qq.com.my".
    for (size_t j = i + 1;;) {
      const size_t label = j;
      while (ldh(j)) ++j;
      if (j == label) break;
      size_t s = j;
      while (s < c.size() && IsBlankChar(c[s])) ++s;
      if (s == c.size() || !IsOneOf(c[s], {".", ",", full_stop, wide_dot, wide_comma})) break;
      size_t next = s + 1;
      while (next < c.size() && IsBlankChar(c[next])) ++next;
      size_t end = next;
      while (ldh(end)) ++end;
      if (end == next) break;
      const bool plain = s == j && next == s + 1 && c[s] == ".";
      if (!plain) {
        if (!IsCommonTld(c, next, end) || (end < c.size() && c[end] == ".")) break;
        c.erase(c.begin() + static_cast<std::ptrdiff_t>(j + 1),
                c.begin() + static_cast<std::ptrdiff_t>(next));
        c[j] = ".";
        next = j + 1;
      }
      j = next;
    }
  }
  std::string out;
  for (const std::string& ch : c) out += ch;
  return out;
}

// The recipient of an address found in the name, after the domain check.
Recipient Checked(Recipient found) {
  if (found.kind != Recipient::Kind::kMailAddress) return found;
  DomainCheck check = CheckMailDomain(found.address);
  switch (check.verdict) {
    case DomainCheck::Verdict::kAsTyped:
      break;
    case DomainCheck::Verdict::kCorrected:
      found.typed = std::move(found.address);
      found.address = std::move(check.address);
      break;
    case DomainCheck::Verdict::kSuspect:
      found.kind = Recipient::Kind::kSkipSuspectAddress;
      found.typed = std::move(found.address);
      found.address.clear();
      found.suggestion = std::move(check.address);
      break;
  }
  return found;
}

}  // namespace

bool IsMailbox(std::string_view address) {
  if (address.size() > kMaxMailbox || CountAtSigns(address) != 1) return false;
  size_t at = 0;
  while (address[at] != '@') at += GbkCharLength(address, at);
  return IsLocalPart(address.substr(0, at)) && IsDomain(address.substr(at + 1));
}

const std::string& InvalidAddressSkipText() {
  return FAHUO_GBK("无效的邮箱地址，自动跳过不发送邮件");
}

Recipient RecipientFor(std::string_view name, std::string_view note) {
  if (note.empty()) return {Recipient::Kind::kSkipNoNote, {}};
  const std::string cleaned = CleanTypedAddress(name);
  if (GbkContains(cleaned, '@')) return Checked(AddressFromName(cleaned));
  std::string digits_only = BlankFourByteCharacters(cleaned);
  std::string_view match;
  size_t whole_runs = 0;
  for (std::string_view m : DigitPattern().FindAll(digits_only)) {
    // A match inside a longer run (a phone number, an order number) is no QQ number.
    const size_t begin = static_cast<size_t>(m.data() - digits_only.data());
    const size_t end = begin + m.size();
    if (begin > 0 && IsDigit(digits_only[begin - 1])) continue;
    if (end < digits_only.size() && IsDigit(digits_only[end])) continue;
    ++whole_runs;
    match = m;
  }
  if (whole_runs != 1) return {Recipient::Kind::kSkipNotQq, {}};
  std::string address(match);
  address += '@';
  address += kQqMailDomain;
  return {Recipient::Kind::kQqNumber, std::move(address)};
}

}  // namespace fahuo
