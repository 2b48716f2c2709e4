#include "delivery/shop.h"

namespace fahuo {

Shop::Shop(const Clock* clock, ShopOptions options)
    : options_(std::move(options)),
      orders_(clock ? *clock : system_clock_, options_.page_gap_ms),
      site_(options_.records_base),
      http_(options_.http),
      baseline_(orders_, site_),
      reader_(orders_, baseline_),
      sender_(orders_, rules_, options_.mail),
      actions_(orders_),
      bounces_(orders_.ledger, orders_.clock,
               imap::Options{.step_ms = options_.mail.step_ms,
                             .total_ms = options_.mail.total_ms,
                             .extra_ca_file = options_.mail.extra_ca_file}) {}

Shop::OpenReport Shop::Open(const std::string& ledger_path) {
  OpenReport report;
  Ledger::OpenResult opened = orders_.ledger.Open(ledger_path, clock().UnixSeconds());
  report.ok = opened.ok;
  report.error = opened.error;
  report.moved_aside_to = opened.moved_aside_to;
  report.busy = opened.failure == Ledger::OpenFailure::kBusy;
  report.newer = opened.failure == Ledger::OpenFailure::kNewer;
  if (!opened.ok) return report;
  baseline_.SetFirstRun(orders_.ledger.Empty());
  bool written = true;
  report.interrupted = orders_.ledger.SettleInterruptedSends(&written);
  if (!written) report.settle_error = orders_.ledger.LastError();
  return report;
}

bool Shop::ReadRecords(const DeliveryOutlet& out, const DeliveryServices& services, size_t* found) {
  if (services.fetch) return reader_.ReadOnce(out, services.fetch, found);
  return reader_.ReadOnce(
      out, [this](const std::string& address) { return http_.Get(address); }, found);
}

bool Shop::RunPass(const MailAccount& account, const DeliveryOutlet& out,
                   const DeliveryServices& services) {
  if (!ReadRecords(out, services)) return false;
  if (!Stopping()) sender_.DeliverDue(account, out, services);
  return true;
}

void Shop::RequestStop() {
  orders_.stopping.store(true);
  orders_.pace.Stop();
  sender_.Abort();
  bounces_.Abort();
  http_.AbortAll();
}

void Shop::LoadBaseline(RecordPagesSink& sink) {
  baseline_.Load(sink, [this](const std::string& address) { return http_.Get(address); });
}

}  // namespace fahuo
