#include "capture/navigation.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "capture/page_text.h"
#include "capture/record_scraper.h"
#include "capture/records_address.h"
#include "platform/gbk.h"
#include "platform/regex.h"

namespace fahuo {
namespace {

// A later page that comes back without a record table is fetched at most this often.
constexpr int kTriesPerPage = 3;
// No records range has this many pages; a pager that never ends must not run forever.
constexpr int kMaxFetches = 10000;

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// Deletes "amp;" until none is left, in one pass: "amp;" cannot overlap itself, so deleting
// each occurrence as soon as it forms gives what repeated searches from the start give.
std::string RemoveAmp(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    out.push_back(ch);
    if (out.ends_with("amp;")) out.resize(out.size() - 4);
  }
  return out;
}

bool IsSchemeChar(char ch) {
  return std::isalnum(static_cast<unsigned char>(ch)) || ch == '+' || ch == '-' || ch == '.';
}

std::string Lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// Scheme of `address` in lower case ("" when it has none), and where the rest begins.
std::string SchemeOf(const std::string& address, size_t& rest) {
  size_t colon = address.find_first_of(":/?#");
  rest = 0;
  if (colon == std::string::npos || colon == 0 || address[colon] != ':') return {};
  for (size_t i = 0; i < colon; ++i) {
    if (!IsSchemeChar(address[i])) return {};
  }
  rest = colon + 1;
  return Lower(address.substr(0, colon));
}

// "scheme://authority" of an absolute http(s) address; empty for anything else.
std::string OriginOf(const std::string& address) {
  size_t rest = 0;
  std::string scheme = SchemeOf(address, rest);
  if ((scheme != "http" && scheme != "https") || address.compare(rest, 2, "//") != 0) return {};
  size_t end = address.find_first_of("/?#", rest + 2);
  std::string authority = address.substr(rest + 2, end == std::string::npos ? end : end - rest - 2);
  if (authority.empty() || authority.find('@') != std::string::npos) return {};
  return scheme + "://" + Lower(authority);
}

}  // namespace

DateTexts DateTextsOf(const LocalDate& date) {
  return {std::to_string(date.year), TwoDigits(date.month), TwoDigits(date.day)};
}

std::string Page1Address(const RecordsSite& site, const LocalDate& date) {
  DateTexts t = DateTextsOf(date);
  std::string begin = std::to_string(date.year - 1) + "." + t.month + ".01";
  std::string end = t.year + "." + t.month + "." + t.day;
  return site.StartAddress() +
         "?_input_charset=utf-8&tradeType=all&status=success&dateRange=customDate&fundFlow=all"
         "&dateType=createDate&beginTime=00%3A00&endTime=24%3A00"
         "&beginDate=" +
         begin + "&endDate=" + end + "&pageNum=1";
}

bool FindNextPage(std::string_view page, std::string& address) {
  const std::string& link_text = FAHUO_GBK("下一页&gt;</a>");
  const std::string closing = "\">" + link_text;
  static const std::string kHref = "href=\"";
  for (std::string_view anchor : AnchorPattern().FindAll(page)) {
    if (anchor.find(link_text) == std::string_view::npos) continue;
    std::string cleaned = RemoveBlanks(RemoveLineBreaks(anchor));
    size_t p1 = cleaned.find(kHref);
    if (p1 == std::string::npos) continue;  // single-quoted or bare href: not ours to guess
    // From the marker's end: the marker's own quote must not close an address.
    size_t p2 = cleaned.find(closing, p1 + kHref.size());
    if (p2 == std::string::npos) continue;
    address = RemoveAmp(cleaned.substr(p1 + kHref.size(), p2 - p1 - kHref.size()));
    return true;
  }
  return false;
}

std::string ResolveNextAddress(const std::string& current, const std::string& next) {
  std::string origin = OriginOf(current);
  if (next.empty() || origin.empty()) return {};
  size_t rest = 0;
  std::string target;
  if (!SchemeOf(next, rest).empty()) {
    target = next;
  } else if (next.starts_with("//")) {
    target = origin.substr(0, origin.find(':') + 1) + next;
  } else if (next.starts_with('/')) {
    target = origin + next;
  } else {
    std::string base = current.substr(0, current.find_first_of("?#", origin.size()));
    if (next.starts_with('?')) {
      target = base + next;
    } else if (next.starts_with('#')) {
      target = current.substr(0, current.find('#')) + next;
    } else {
      size_t slash = base.rfind('/');
      target = (slash < origin.size() ? base + "/" : base.substr(0, slash + 1)) + next;
    }
  }
  return OriginOf(target) == origin ? target : std::string();
}

std::string NextPageAddress(std::string_view page, const std::string& current,
                            std::set<std::string>& visited) {
  std::string next;
  if (!FindNextPage(page, next)) return {};
  next = ResolveNextAddress(current, next);
  if (next.empty() || !visited.insert(next).second) return {};
  return next;
}

bool ReadRecordsPage(std::string_view page, std::vector<BillRecord>& bills) {
  std::vector<BillRecord> found;
  ScrapeRecordTable(page, found);  // a listing without bills may hold its header row alone
  if (found.empty()) {
    // A table without record rows is the records page only when its header says so: a
    // busy page, an error page or a sign-in form laid out as a table must not pass for an
    // empty listing.
    std::vector<std::string_view> rows = RowPattern().FindAll(page, 1);
    std::string_view header = rows.empty() ? std::string_view() : rows.front();
    bool has_th = header.find("<th") != std::string_view::npos ||
                  header.find("<TH") != std::string_view::npos;
    if (!has_th || header.find(FAHUO_GBK("金额")) == std::string_view::npos) return false;
  }
  bills.insert(bills.end(), found.begin(), found.end());
  return true;
}

RecordPagesResult LoadRecordPages(const std::string& page1, const PageFetcher& fetch,
                                  RecordPagesSink& sink, const LastPageTest& last_page) {
  RecordPagesResult result;
  std::string address = page1;
  try {
    std::set<std::string> visited{address};
    size_t bills_found = 0;
    bool more_pages = false;
    int failed_tries = 0;
    for (int fetched = 0; fetched < kMaxFetches && !sink.Stopping(); ++fetched) {
      std::string page = fetch(address);
      std::vector<BillRecord> bills;
      if (result.pages_read == 0 ? !ReadRecordsPage(page, bills)
                                 : !ScrapeRecordTable(page, bills)) {
        // Page 1 that is not the records page ends at once; a later one may be a passing
        // failure.
        if (!more_pages || ++failed_tries >= kTriesPerPage) break;
        continue;
      }
      if (result.pages_read == 0) result.page1_read = true;
      failed_tries = 0;
      bills_found += bills.size();
      result.bills.insert(result.bills.end(), bills.begin(), bills.end());
      sink.Progress(++result.pages_read, bills_found);
      if (last_page && last_page(bills)) break;
      std::string next = NextPageAddress(page, address, visited);
      more_pages = !next.empty();
      if (!more_pages) break;
      address = next;
    }
  } catch (...) {
    // Out of memory on a huge page: keep what was read and let the program go on.
  }
  return result;
}

bool LooksLikeSignInPage(std::string_view page) {
  // ASCII markup: a case-blind search for the password field, with either quote or none.
  std::string lower(page.substr(0, std::min<size_t>(page.size(), 1 << 20)));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* field : {"type=\"password\"", "type='password'", "type=password"}) {
    if (lower.find(field) != std::string::npos) return true;
  }
  const size_t title = lower.find("<title");
  if (title == std::string::npos) return false;
  const size_t end = lower.find("</title", title);
  const std::string_view text = std::string_view(page).substr(
      title, end == std::string::npos ? std::string_view::npos : end - title);
  return text.find(FAHUO_GBK("登录")) != std::string_view::npos;
}

}  // namespace fahuo
