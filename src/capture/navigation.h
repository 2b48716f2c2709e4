#pragma once
// Reading the transaction-records pages once after sign-in: the page-1 address of the
// records range, the pager's next-page link, and the page-by-page baseline load.
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "capture/bill_record.h"
#include "capture/records_address.h"
#include "platform/clock.h"

namespace fahuo {

struct DateTexts {
  std::string year;   // "2015"
  std::string month;  // "01".."12"
  std::string day;    // "01".."31"
};

// The date texts of `date`.
DateTexts DateTextsOf(const LocalDate& date);

// Address of page 1 of the records range for `date` on `site`: from the first day of its
// month one year back to its end.
std::string Page1Address(const RecordsSite& site, const LocalDate& date);

// Looks for the pager's "下一页&gt;</a>" link in `page` (GBK) and, when one qualifies,
// replaces `address` with its href as written, "&amp;" turned into "&", and returns true.
// The first qualifying link in page order wins. Returns false and leaves `address` alone
// otherwise. The href is cut up to the quote before ">下一页&gt;</a>", so it must be the
// last attribute of the link for the result to be a clean address.
bool FindNextPage(std::string_view page, std::string& address);

// Where the loader goes after `current`: `next` (as FindNextPage gives it) resolved against
// `current`. Empty when `next` is empty, not http(s), or leaves the scheme, host and port of
// `current`, so that a pager never sends the seller's session elsewhere.
std::string ResolveNextAddress(const std::string& current, const std::string& next);

// The address the pager of `page` leads to from `current`, once per address: empty when
// there is no next page, it leaves the records host, or it was visited already (a pager
// that loops). Records the address in `visited`.
std::string NextPageAddress(std::string_view page, const std::string& current,
                            std::set<std::string>& visited);

// Fetches one address: the body bytes, empty on failure.
using PageFetcher = std::function<std::string(const std::string& address)>;

// Scrapes `page` when it is recognisably the records page: a record table with bills, or
// one whose header row names the amount column (a real listing with no bills). Appends the
// bills to `bills` and returns true; false (nothing appended) for anything else.
bool ReadRecordsPage(std::string_view page, std::vector<BillRecord>& bills);

// Whether `page` (GBK) asks for a sign-in: a form with a password field. A page that is
// neither this nor the records is the service's own (a verification, a risk notice).
bool LooksLikeSignInPage(std::string_view page);

// What LoadRecordPages reports while it works; called on the loading thread.
class RecordPagesSink {
 public:
  virtual ~RecordPagesSink() = default;
  // After each page that held a record table.
  virtual void Progress(int pages_read, size_t bills_found) = 0;
  // Once at the end of the loading: refresh the bill list, arm the keep-alive.
  virtual void Finished() = 0;
  // Polled between pages: true ends the loading early (the program is quitting).
  virtual bool Stopping() { return false; }
};

struct RecordPagesResult {
  bool page1_read = false;  // page 1 was the records page
  int pages_read = 0;
  std::vector<BillRecord> bills;  // every page's bills, in page order
};

// Reads the records pages from `page1`, following the pager, and returns their bills.
// Page 1 must be recognisably the records page (ReadRecordsPage), or nothing is read. A
// later page that keeps coming back without a record table is tried three times, then the
// loading ends with what was read; so do a pager that loops and a next-page link that
// leads off the records host. Does not call sink.Finished(): the caller does, once it has
// kept the bills. Blocks for as long as the fetching takes. With `last_page`, the loading
// also ends after the first page (its bills) for which it returns true.
using LastPageTest = std::function<bool(const std::vector<BillRecord>& page_bills)>;
RecordPagesResult LoadRecordPages(const std::string& page1, const PageFetcher& fetch,
                                  RecordPagesSink& sink, const LastPageTest& last_page = {});

}  // namespace fahuo
