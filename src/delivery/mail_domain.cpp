#include "delivery/mail_domain.h"

#include <algorithm>

namespace fahuo {
namespace {

struct CommonDomain {
  std::string_view domain;
  // The provider has a domain per country (hotmail.fr, outlook.de, live.ca): a two-letter
  // TLD after its name is likely one of them, not a typo.
  bool country_variants = false;
};

// The most used first. Real domains near others (mail.com, ymail.com, 163.net) stand here
// so that they are known, never "mended" into their neighbours.
constexpr CommonDomain kCommon[] = {
    {"qq.com"},
    {"163.com"},
    {"126.com"},
    {"vip.qq.com"},
    {"foxmail.com"},
    {"gmail.com"},
    {"sina.com"},
    {"sina.cn"},
    {"sohu.com"},
    {"yeah.net"},
    {"139.com"},
    {"aliyun.com"},
    {"outlook.com", true},
    {"hotmail.com", true},
    {"icloud.com"},
    {"188.com"},
    {"vip.163.com"},
    {"vip.126.com"},
    {"vip.sina.com"},
    {"sina.com.cn"},
    {"163.net"},
    {"189.cn"},
    {"21cn.com"},
    {"live.com", true},
    {"yahoo.com", true},
    {"googlemail.com"},
    {"mail.com"},
    {"email.com"},
    {"ymail.com"},
};

// The label after the last dot, and everything before it.
std::string_view TopLabel(std::string_view domain) {
  const size_t dot = domain.rfind('.');
  return dot == std::string_view::npos ? domain : domain.substr(dot + 1);
}
std::string_view NamePart(std::string_view domain) {
  const size_t dot = domain.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : domain.substr(0, dot);
}

// Short domains have many real neighbours one edit away ("qa.com", "162.com"): only one
// edit counts for them, two for longer ones.
size_t Reach(std::string_view common) { return common.size() <= 7 ? 1 : 2; }

// A top-level label one edit from "com" that is no real TLD ("con", "cpm", "comm"): the
// domain cannot exist. Two-letter labels are country codes, and cam, bom, mom are real.
bool MistypedCom(std::string_view tld) {
  if (tld.size() < 3 || tld == "com" || tld == "cam" || tld == "bom" || tld == "mom") return false;
  return TypoDistance(tld, "com") == 1;
}

}  // namespace

const std::vector<std::string_view>& CommonMailDomains() {
  static const std::vector<std::string_view> domains = [] {
    std::vector<std::string_view> out;
    for (const CommonDomain& d : kCommon) out.push_back(d.domain);
    return out;
  }();
  return domains;
}

size_t TypoDistance(std::string_view a, std::string_view b) {
  // Three rows of the table are enough for the swap of two neighbours.
  std::vector<size_t> before(b.size() + 1), prev(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({prev[j] + 1, row[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    before.swap(prev);
    prev.swap(row);
  }
  return prev[b.size()];
}

DomainCheck CheckMailDomain(std::string_view address) {
  // The local part is ASCII, so the first at-sign is the separator even when a Chinese
  // domain carries '@' as a trail byte.
  const size_t at = address.find('@');
  if (at == std::string_view::npos) return {};
  std::string domain(address.substr(at + 1));
  for (char& c : domain) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) return {};  // a Chinese or other internationalised domain: not ours to judge
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  for (const CommonDomain& common : kCommon) {
    if (domain == common.domain) return {};
  }
  const std::string_view name = NamePart(domain);
  const std::string_view tld = TopLabel(domain);
  std::vector<const CommonDomain*> nearest;
  size_t best = SIZE_MAX;
  for (const CommonDomain& common : kCommon) {
    const size_t distance = TypoDistance(domain, common.domain);
    if (distance > Reach(common.domain)) continue;
    if (common.country_variants && name == NamePart(common.domain) && tld.size() == 2) continue;
    if (distance < best) {
      best = distance;
      nearest.clear();
    }
    if (distance == best) nearest.push_back(&common);
  }
  const std::string local(address.substr(0, at + 1));
  if (!nearest.empty()) {
    const std::string_view meant = nearest.front()->domain;
    // Only the TLD mistyped ("qq.con"), or a long name mistyped ("gmial"): no other mail
    // domain lies that near. A short name mistyped ("qqq.com") may well be a real domain.
    const bool sure =
        nearest.size() == 1 && (name == NamePart(meant) || NamePart(meant).size() >= 5);
    return {sure ? DomainCheck::Verdict::kCorrected : DomainCheck::Verdict::kSuspect,
            local + std::string(meant)};
  }
  if (MistypedCom(tld) && !name.empty()) {
    return {DomainCheck::Verdict::kSuspect, local + std::string(name) + ".com"};
  }
  return {};
}

}  // namespace fahuo
