#pragma once
// Reading the transaction-records pages once after sign-in: the page-1 address of the
// records range, the pager's next-page link, and the page-by-page baseline load.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "capture/bill_record.h"
#include "platform/clock.h"

namespace fahuo {

struct DateTexts {
  std::string year;   // "2015"
  std::string month;  // "01".."12"
  std::string day;    // "01".."31"
};

// The date texts of `date`, and of today's local date (through CurrentClock()).
DateTexts DateTextsOf(const LocalDate& date);
DateTexts TodayDateTexts();

// Address of page 1 of the records range for `date`: from the first day of its month one
// year back to its end, on RecordsBase().
std::string Page1Address(const LocalDate& date);

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

// The page-1 address the baseline was read from; empty until the pages were loaded.
std::string RecordsAddress();

// What the delivery pass and the keep-alive fetch: empty until the baseline loading has
// ended (a pass that compared page 1 against a half-loaded AllBills would mail bills that
// were already there), then the page-1 address of today's local date, so that a program
// left running past midnight sees the new day's payments.
std::string CurrentRecordsAddress();

// Whether the page loading of this run has begun (it begins at most once per run).
bool CaptureStarted();

// What LoadRecordPages reports while it works; called on the loading thread.
class RecordPagesSink {
 public:
  virtual ~RecordPagesSink() = default;
  // After each page that held a record table.
  virtual void Progress(int pages_read, size_t bills_found) = 0;
  // Once at the end of the loading: refresh the bill list, arm the keep-alive.
  virtual void Finished() = 0;
};

// Reads every records page of the range into AllBills(), following the pager from page 1,
// then calls sink.Finished(). Does nothing (no Finished) when the loading already began in
// this run. A later page that keeps coming back without a record table is tried three
// times, then the loading ends with what was read; so do a pager that loops and a next-page
// link that leads off the records host. Blocks for as long as the fetching takes.
void LoadRecordPages(RecordPagesSink& sink);

// When the baseline loading could not read page 1 (network failure, an error page), the
// bills already on it are unknown, and every one of them would look new. The first page 1
// that a delivery pass reads afterwards is then taken as the baseline: its bills go into
// AllBills, mailed to nobody. Returns true (once) when `page1` was taken so.
bool TakeMissingBaseline(const std::vector<BillRecord>& page1);

// Tests only: forget that the loading began and the address it published.
void ResetNavigationForTest();

}  // namespace fahuo
