#pragma once
// The shop's figures over a period of the seller's local days, read from the ledger file
// over a read-only SQLite connection of their own: WAL lets them read while fahuo writes,
// and neither the window nor fahuo-cli waits on the Ledger's mutex for a year of bills.
// Days are those of the payment's time as the records page shows it (paid_key), which is
// the seller's local time already.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace fahuo {

// A calendar day as YYYYMMDD (20261209). Days are compared and stepped through these.
using DayNumber = int32_t;

bool IsValidDay(DayNumber day);
DayNumber AddDays(DayNumber day, int days);
int DaysBetween(DayNumber from, DayNumber to);  // to - from, in days
// "2026-12-09" → 20261209; nothing for anything else (also 2026-02-30).
std::optional<DayNumber> ParseDay(const std::string& text);
std::string FormatDay(DayNumber day);  // "2026-12-09"

// kHourOfDay: 24 buckets, one per hour of the day, across all the period's days.
enum class BucketSize { kHour, kDay, kWeek, kMonth, kHourOfDay };

struct Figures {
  int64_t orders = 0;      // completed incoming payments (paid rows, baseline included)
  int64_t amount_fen = 0;  // their sum
  int64_t mailed = 0;      // of these, mailed and accepted (state sent)
  int64_t needing = 0;     // rows waiting for the seller (SellerStates)
  int64_t resends = 0;     // the seller's resends
  // Seconds from first sight to the mail's acceptance, over the mailed bills that were
  // never resent (a resend moves sent_at to the seller's time); -1 when there were none.
  int64_t median_seconds = -1;
  int64_t p95_seconds = -1;
};

struct BucketFigures {
  std::string label;  // "2026-12-09 10", "2026-12-09", "2026-W50", "2026-12", "10"
  Figures figures;
};

struct ProductFigures {
  std::string subject;  // the rule's subject (GBK); empty: no rule mailed it
  Figures figures;
};

struct Statistics {
  DayNumber from = 0;  // the period [from, to)
  DayNumber to = 0;
  BucketSize size = BucketSize::kDay;
  Figures total;
  Figures previous;                          // the period of the same length just before
  std::vector<BucketFigures> buckets;        // every bucket of the period, in order, empty ones too
  std::vector<ProductFigures> products;      // by amount, largest first
  std::array<int64_t, 24> orders_by_hour{};  // payments by hour of the day
};

class StatisticsReader {
 public:
  StatisticsReader() = default;
  ~StatisticsReader();
  StatisticsReader(const StatisticsReader&) = delete;
  StatisticsReader& operator=(const StatisticsReader&) = delete;

  // Opens `path` read-only (never creates it); false with the reason otherwise, also for a
  // ledger fahuo has not brought to the schema with the figures' columns yet.
  bool Open(const std::string& path, std::string& error);

  // The first and the last day with a dated row; nothing for a ledger without one.
  std::optional<std::pair<DayNumber, DayNumber>> DataRange();

  // The figures of [from, to) in buckets of `size`. False with the reason on a read error,
  // or when `cancel` became true (the reader's owner went away).
  bool Read(DayNumber from, DayNumber to, BucketSize size, Statistics& out, std::string& error,
            const std::atomic<bool>* cancel = nullptr);

 private:
  bool Scan(DayNumber from, DayNumber to, BucketSize size, bool details, Statistics& out,
            std::string& error, const std::atomic<bool>* cancel);
  sqlite3* db_ = nullptr;
};

// The size that suits a period of `days` days: hours for a day or two, days up to two
// months, weeks up to half a year, months beyond.
BucketSize SuitedBucketSize(int days);

// Fen as yuan with two decimals ("1234.50", "-0.05").
std::string FormatYuan(int64_t fen);

}  // namespace fahuo
