#pragma once
// The line under the bill list once the pages are loaded: when the records were last read,
// what went out today and what waits for the seller — or, first, what stops that from
// being true (a settings file that cannot be written, a lapsed sign-in, a seller's action
// waiting for the sender, the provider's pause with its 恢复发送 link, records not read yet).
#include <QString>
#include <cstdint>
#include <functional>

class QLabel;

namespace fahuo {

class Shop;

class StatusLine {
 public:
  // `label` is the window's; `pending_actions` counts the seller's actions not run yet.
  StatusLine(Shop& shop, QLabel* label, std::function<int()> pending_actions);

  // Counts today's mails and the bills that wait for the seller, from the ledger.
  void Recount();
  // Writes the line. UI thread.
  void Show();
  // A failed settings write stays on the line (the regular refresh must not wipe it) until
  // a write succeeds again: then `message` says so once.
  void SettingsWriteFailed(const QString& message);
  void SettingsWriteRecovered(const QString& message);

  int64_t sent_today() const { return sent_today_; }
  int64_t need_seller() const { return need_seller_; }

 private:
  Shop& shop_;
  QLabel* label_;
  const std::function<int()> pending_actions_;
  int64_t sent_today_ = 0;
  int64_t need_seller_ = 0;
  QString settings_notice_;
};

}  // namespace fahuo
