#pragma once
// The seller's orders for one run of the program, and what works on them: the ledger and
// this run's bill lists, the rule list, the HTTP client with the browser's cookies, the
// baseline, the records reader, the sender and the seller's actions. Built once in main()
// and handed to whoever needs it; tests build their own. The shop owns and wires its
// parts; each part does one job (delivery/baseline.h, records_reader.h, sender.h,
// seller_actions.h). The reader and the sender run on threads of their own (the app's run
// control owns them), the page loading on a third, the window reads from the UI thread.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/records_address.h"
#include "delivery/baseline.h"
#include "delivery/bounce_reader.h"
#include "delivery/delivery_pass.h"
#include "delivery/orders.h"
#include "delivery/records_reader.h"
#include "delivery/seller_actions.h"
#include "delivery/sender.h"
#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"
#include "rules/delivery_rule.h"

namespace fahuo {

// What a shop is set up with, decided once at start-up (tests shorten the time-outs).
struct ShopOptions {
  std::string records_base = kDefaultRecordsBase;
  HttpOptions http;
  mail::Options mail;
  // The least time between two records pages read one after the other (the loading after
  // sign-in, a catch-up walk): two a second, as a person pages. Tests set 0.
  int64_t page_gap_ms = 500;
};

class Shop {
 public:
  // `clock` (not owned) tells every time of the shop; nullptr: the system clock.
  explicit Shop(const Clock* clock = nullptr, ShopOptions options = {});
  Shop(const Shop&) = delete;
  Shop& operator=(const Shop&) = delete;

  struct OpenReport {
    bool ok = false;
    std::string error;           // why the ledger could not be opened (UTF-8)
    std::string moved_aside_to;  // a corrupt ledger was kept under this name
    bool busy = false;           // another program holds the file: try again (nothing was replaced)
    bool newer = false;          // written by a newer fahuo: left untouched, never used
    std::vector<LedgerEntry> interrupted;  // found in "sending": now "unknown"
    std::string settle_error;              // they could not be written so (UTF-8)
  };
  // Opens (or starts) the ledger at `path`. Without a ledger nothing is ever mailed.
  OpenReport Open(const std::string& ledger_path);

  // --- What the shop owns.
  BillList& AllBills() { return orders_.all_bills; }  // every bill seen this run, newest first
  BillList& NewBills() { return orders_.new_bills; }  // bills found new this run, in order found
  Ledger& ledger() { return orders_.ledger; }
  const Clock& clock() const { return orders_.clock; }
  const RecordsSite& site() const { return site_; }
  HttpClient& http() { return http_; }
  RuleBook& rules() { return rules_; }
  const mail::Options& mail_options() const { return options_.mail; }
  Baseline& baseline() { return baseline_; }
  RecordsReader& reader() { return reader_; }
  Sender& sender() { return sender_; }
  SellerActions& actions() { return actions_; }
  BounceReader& bounces() { return bounces_; }

  // --- Wiring.
  // Reads the records once (through the services' fetch, else this shop's HTTP client).
  // False at once when a read is under way. `*found` as RecordsReader::ReadOnce.
  bool ReadRecords(const DeliveryOutlet& out, const DeliveryServices& services = {},
                   size_t* found = nullptr);
  // Mails the due bills once; false at once when a delivery is under way.
  bool DeliverDue(const MailAccount& account, const DeliveryOutlet& out,
                  const DeliveryServices& services = {}) {
    return sender_.DeliverDue(account, out, services);
  }
  // One read followed by one delivery on the calling thread (tests, benchmarks, a
  // one-thread run). False at once, doing nothing, when a read is under way.
  bool RunPass(const MailAccount& account, const DeliveryOutlet& out,
               const DeliveryServices& services = {});

  // Reading, loading and mailing stop at the next safe point; a mail exchange and the HTTP
  // requests under way are cut at once. For the end of the program.
  void RequestStop();
  bool Stopping() const { return orders_.stopping.load(); }
  // A read or a delivery is under way.
  bool Busy() const { return reader_.Busy() || sender_.Busy(); }

  // The page loading through this shop's HTTP client.
  void LoadBaseline(RecordPagesSink& sink);

  // --- Shortcuts for the window's status line.
  bool SignInLapsed() const { return reader_.SignInLapsed(); }
  bool VerificationNeeded() const { return reader_.VerificationNeeded(); }
  // Reading is held back (a lapse, a verification): the keep-alive keeps quiet too.
  bool ReadingHeldBack() const { return reader_.HeldBack(); }
  // The next read goes ahead even while held back: the seller acted in the browser.
  void ReadSoon() { reader_.ReadSoon(); }
  int64_t LastRecordsRead() const { return orders_.last_records_read.load(); }

  static constexpr int64_t kLapseAfterMs = RecordsReader::kLapseAfterMs;

 private:
  const SystemClock system_clock_;
  const ShopOptions options_;
  Orders orders_;
  const RecordsSite site_;
  HttpClient http_;
  RuleBook rules_;
  Baseline baseline_;
  RecordsReader reader_;
  Sender sender_;
  SellerActions actions_;
  BounceReader bounces_;
};

}  // namespace fahuo
