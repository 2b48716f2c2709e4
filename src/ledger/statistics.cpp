#include "ledger/statistics.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "ledger/bill_state_text.h"
#include "ledger/ledger.h"
#include "ledger/sqlite_stmt.h"

namespace fahuo {
namespace {

namespace chr = std::chrono;

constexpr int64_t kKeyPerDay = 1000000;  // paid_key is YYYYMMDDHHMMSS

chr::year_month_day Ymd(DayNumber day) {
  return chr::year_month_day{chr::year{day / 10000},
                             chr::month{static_cast<unsigned>(day / 100 % 100)},
                             chr::day{static_cast<unsigned>(day % 100)}};
}

DayNumber FromYmd(chr::year_month_day ymd) {
  return static_cast<DayNumber>(static_cast<int>(ymd.year()) * 10000 +
                                static_cast<int>(static_cast<unsigned>(ymd.month())) * 100 +
                                static_cast<int>(static_cast<unsigned>(ymd.day())));
}

int DaysSinceEpoch(DayNumber day) {
  return static_cast<int>(chr::sys_days(Ymd(day)).time_since_epoch().count());
}

// The ISO week of a day: its year and number.
std::pair<int, int> IsoWeek(DayNumber day) {
  const chr::sys_days d(Ymd(day));
  const int weekday = static_cast<int>(chr::weekday(d).iso_encoding());  // Monday 1
  const chr::sys_days thursday = d + chr::days(4 - weekday);
  const int year = static_cast<int>(chr::year_month_day(thursday).year());
  const chr::sys_days first = chr::sys_days(chr::year{year} / chr::January / 1);
  return {year, static_cast<int>((thursday - first).count() / 7 + 1)};
}

std::string BucketLabel(DayNumber day, int hour, BucketSize size) {
  char text[32];
  const int y = day / 10000, m = day / 100 % 100, d = day % 100;
  switch (size) {
    case BucketSize::kHour:
      std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d", y, m, d, hour);
      break;
    case BucketSize::kDay:
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
      break;
    case BucketSize::kWeek: {
      const auto [wy, w] = IsoWeek(day);
      std::snprintf(text, sizeof text, "%04d-W%02d", wy, w);
      break;
    }
    case BucketSize::kMonth:
      std::snprintf(text, sizeof text, "%04d-%02d", y, m);
      break;
    case BucketSize::kHourOfDay:
      std::snprintf(text, sizeof text, "%02d", hour);
      break;
  }
  return text;
}

// Figures being counted: the mail times are kept until the end for the percentiles.
struct Tally {
  Figures figures;
  std::vector<int64_t> mail_seconds;

  void Finish() {
    if (mail_seconds.empty()) return;
    auto at = [this](size_t rank) {
      std::nth_element(mail_seconds.begin(), mail_seconds.begin() + static_cast<long>(rank),
                       mail_seconds.end());
      return mail_seconds[rank];
    };
    const size_t n = mail_seconds.size();
    // The median of an even count is the lower middle: a time some bill really took.
    figures.median_seconds = at((n - 1) / 2);
    figures.p95_seconds = at((n * 95 + 99) / 100 - 1);
    mail_seconds.clear();
    mail_seconds.shrink_to_fit();
  }
};

}  // namespace

bool IsValidDay(DayNumber day) { return day > 0 && Ymd(day).ok(); }

DayNumber AddDays(DayNumber day, int days) {
  return FromYmd(chr::year_month_day(chr::sys_days(Ymd(day)) + chr::days(days)));
}

int DaysBetween(DayNumber from, DayNumber to) { return DaysSinceEpoch(to) - DaysSinceEpoch(from); }

std::optional<DayNumber> ParseDay(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 4 || i == 7) continue;
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  if (value / 10000 < 1970 || !IsValidDay(value)) return std::nullopt;
  return value;
}

std::string FormatDay(DayNumber day) { return BucketLabel(day, 0, BucketSize::kDay); }

BucketSize SuitedBucketSize(int days) {
  if (days <= 2) return BucketSize::kHour;
  if (days <= 62) return BucketSize::kDay;
  if (days <= 190) return BucketSize::kWeek;
  return BucketSize::kMonth;
}

std::string FormatYuan(int64_t fen) {
  const bool negative = fen < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(fen) : static_cast<uint64_t>(fen);
  char text[40];
  std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 100),
                static_cast<unsigned long long>(magnitude % 100));
  return text;
}

StatisticsReader::~StatisticsReader() {
  if (db_) sqlite3_close_v2(db_);
}

bool StatisticsReader::Open(const std::string& path, std::string& error) {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  // fahuo's commits hold the write lock only briefly; a reader waits for a checkpoint at most.
  sqlite3_busy_timeout(db_, 5000);
  Stmt check(db_, "SELECT paid_key, amount_fen, paid, resends FROM bills LIMIT 0;");
  if (!check.ok()) {
    error = sqlite3_errmsg(db_);
    if (error.find("no such") != std::string::npos) {
      error = "the ledger is from an older fahuo; start fahuo once to bring it up to date";
    }
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

std::optional<std::pair<DayNumber, DayNumber>> StatisticsReader::DataRange() {
  if (!db_) return std::nullopt;
  Stmt s(db_, "SELECT MIN(paid_key), MAX(paid_key) FROM bills WHERE paid_key > 0;");
  if (!s.ok() || s.Step() != SQLITE_ROW || s.Int(0) <= 0) return std::nullopt;
  const auto first = static_cast<DayNumber>(s.Int(0) / kKeyPerDay);
  const auto last = static_cast<DayNumber>(s.Int(1) / kKeyPerDay);
  if (!IsValidDay(first) || !IsValidDay(last)) return std::nullopt;
  return std::make_pair(first, last);
}

bool StatisticsReader::Read(DayNumber from, DayNumber to, BucketSize size, Statistics& out,
                            std::string& error, const std::atomic<bool>* cancel) {
  if (!db_) {
    error = "the ledger is not open";
    return false;
  }
  if (!IsValidDay(from) || !IsValidDay(to) || to <= from) {
    error = "not a period of days";
    return false;
  }
  out = Statistics{};
  out.from = from;
  out.to = to;
  out.size = size;
  // One snapshot for both periods: fahuo's writes in between must not make them disagree.
  if (sqlite3_exec(db_, "BEGIN;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  Statistics previous;
  const int days = DaysBetween(from, to);
  bool ok = Scan(from, to, size, true, out, error, cancel);
  if (ok) ok = Scan(AddDays(from, -days), from, size, false, previous, error, cancel);
  sqlite3_exec(db_, "COMMIT;", nullptr, nullptr, nullptr);
  out.previous = previous.total;
  return ok;
}

bool StatisticsReader::Scan(DayNumber from, DayNumber to, BucketSize size, bool details,
                            Statistics& out, std::string& error, const std::atomic<bool>* cancel) {
  // Every bucket of the period, and which bucket each day falls in.
  const int days = DaysBetween(from, to);
  std::vector<Tally> buckets;
  std::vector<int> bucket_of_day(static_cast<size_t>(days), 0);
  if (details && size == BucketSize::kHourOfDay) {
    for (int hour = 0; hour < 24; ++hour)
      out.buckets.push_back({BucketLabel(from, hour, size), {}});
    buckets.resize(out.buckets.size());
  } else if (details) {
    for (int i = 0; i < days; ++i) {
      const DayNumber day = AddDays(from, i);
      if (size == BucketSize::kHour) {
        bucket_of_day[static_cast<size_t>(i)] = static_cast<int>(out.buckets.size());
        for (int hour = 0; hour < 24; ++hour) {
          out.buckets.push_back({BucketLabel(day, hour, size), {}});
        }
        continue;
      }
      std::string label = BucketLabel(day, 0, size);
      if (out.buckets.empty() || out.buckets.back().label != label) {
        out.buckets.push_back({std::move(label), {}});
      }
      bucket_of_day[static_cast<size_t>(i)] = static_cast<int>(out.buckets.size()) - 1;
    }
    buckets.resize(out.buckets.size());
  }
  std::unordered_set<std::string> seller_states;
  for (BillState state : SellerStates()) seller_states.emplace(StateName(state));
  const std::string sent(StateName(BillState::kSent));

  // The columns all come from the covering index bills_figures: no row of the table is read.
  Stmt s(db_,
         "SELECT paid_key, paid, amount_fen, state, sent_at, first_seen, resends, rule_subject"
         " FROM bills WHERE paid_key >= ?1 AND paid_key < ?2;");
  if (!s.ok()) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  s.Bind(1, int64_t{from} * kKeyPerDay);
  s.Bind(2, int64_t{to} * kKeyPerDay);
  Tally total;
  std::vector<Tally> products;
  std::unordered_map<std::string, size_t> product_of;
  DayNumber last_day = 0;
  int last_index = -1;
  const int from_epoch = DaysSinceEpoch(from);
  int rc;
  int64_t rows = 0;
  while ((rc = s.Step()) == SQLITE_ROW) {
    if (cancel && (++rows & 0xfff) == 0 && cancel->load()) {
      error = "cancelled";
      return false;
    }
    const int64_t key = s.Int(0);
    const auto day = static_cast<DayNumber>(key / kKeyPerDay);
    if (day != last_day) {
      // A date the page cannot have shown (the 31st of February) counts nowhere.
      last_index = IsValidDay(day) ? DaysSinceEpoch(day) - from_epoch : -1;
      last_day = day;
    }
    if (last_index < 0 || last_index >= days) continue;
    const bool paid = s.Int(1) != 0;
    const int64_t fen = s.Int(2);
    const std::string state = s.Text(3);
    const int64_t sent_at = s.Int(4), first_seen = s.Int(5), resends = s.Int(6);
    const bool mailed = paid && state == sent;
    const bool needing = seller_states.count(state) > 0;
    const bool timed =
        mailed && resends == 0 && sent_at > 0 && first_seen > 0 && sent_at >= first_seen;
    auto add = [&](Tally& t) {
      if (paid) {
        ++t.figures.orders;
        t.figures.amount_fen += fen;
      }
      t.figures.mailed += mailed;
      t.figures.needing += needing;
      t.figures.resends += resends;
      if (timed) t.mail_seconds.push_back(sent_at - first_seen);
    };
    add(total);
    if (!details) continue;
    const int hour = static_cast<int>(key / 10000 % 100);
    int bucket = bucket_of_day[static_cast<size_t>(last_index)];
    if (size == BucketSize::kHour || size == BucketSize::kHourOfDay) bucket += hour;
    add(buckets[static_cast<size_t>(bucket)]);
    if (paid) ++out.orders_by_hour[static_cast<size_t>(hour)];
    if (!paid && !needing && resends == 0) continue;  // no product's figure
    const auto [at, added] = product_of.try_emplace(s.Text(7), products.size());
    if (added) products.emplace_back();
    add(products[at->second]);
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  total.Finish();
  out.total = total.figures;
  for (size_t i = 0; i < buckets.size(); ++i) {
    buckets[i].Finish();
    out.buckets[i].figures = buckets[i].figures;
  }
  for (const auto& [subject, index] : product_of) {
    products[index].Finish();
    out.products.push_back({subject, products[index].figures});
  }
  std::sort(out.products.begin(), out.products.end(),
            [](const ProductFigures& a, const ProductFigures& b) {
              if (a.figures.amount_fen != b.figures.amount_fen) {
                return a.figures.amount_fen > b.figures.amount_fen;
              }
              return a.subject < b.subject;
            });
  return true;
}

}  // namespace fahuo
