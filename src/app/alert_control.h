#pragma once
// The alerts in the program: the [提醒] settings, the courier that carries alerts to the
// seller, the monitor that watches what the reader and the sender report, a minute timer
// for what comes with time (unread records, a mailbox that stays unreachable, bills that wait
// in the ledger, the daily summary), and the 提醒设置 window with 发送测试提醒, the sending pace
// and the second sending account (备用发信邮箱).
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alerts/alert_courier.h"
#include "alerts/alert_monitor.h"
#include "app/app_services.h"
#include "app/core/password_store.h"
#include "delivery/mail_setup.h"

class QTimer;
class QWidget;

namespace fahuo {

class AlertControl : public QObject {
  Q_OBJECT
 public:
  struct Hooks {
    std::function<MailAccount()> account;        // the account deliveries use now
    std::function<bool()> watching;              // monitoring runs
    std::function<int64_t()> last_records_read;  // the clock's Unix seconds, 0: none
    std::function<SummaryCounts()> counts;       // for the daily summary
    // The waiting bills no event reports, read from the ledger at each tick.
    std::function<std::optional<QuietBills>(int64_t now)> quiet_bills;
    // The settings' 测试收件: logs in to the account's inbox off the UI thread.
    std::function<void(const MailAccount&, const std::string& server,
                       std::function<void(const std::string&, bool)> done)>
        test_inbox;
  };
  // Boxes open over `window`; `clock` and `mail` as the shop's.
  AlertControl(QWidget* window, const Clock& clock, const mail::Options& mail,
               const AppServices& services, Hooks hooks, QObject* parent = nullptr);
  ~AlertControl() override;

  // The alerts' listener to what the reader and the sender report.
  std::shared_ptr<DeliveryEvents> Listener() const { return monitor_; }

  // Reads [提醒] and the second account (start-up, after a save) and starts the minute
  // timer.
  void Load();
  void OnTick();
  void BillsUnknown(const std::vector<std::string>& serials);
  void HeldPaymentsWaiting(size_t count);
  // The 提醒设置 window (modal).
  void OpenSettings();
  // Cuts the alert under way; nothing is sent afterwards.
  void Shutdown();

  // The channels as Load read them, over the account deliveries use now.
  AlertChannels Channels() const;
  // The second sending account as saved ([发信] 备用…), read by Load (a keyring is asked
  // then, not on every tick); none without a server or address.
  std::optional<MailAccount> BackupAccount() const { return backup_; }
  // Keeps the second account's password in `store` (it outlives this) instead of in
  // Peizhi.ini alone.
  void UsePasswordStore(PasswordStore& store) { passwords_ = &store; }

 private:
  QWidget* window_;
  const Clock& clock_;
  const AppServices services_;
  const Hooks hooks_;
  std::shared_ptr<AlertCourier> courier_;
  std::shared_ptr<AlertMonitor> monitor_;
  QTimer* timer_;
  // [提醒] as saved: the alert address (none: the sending account's), the webhook, its format.
  struct Saved {
    std::optional<std::string> mail_to;
    std::string webhook;
    std::string format;
  };
  Saved ReadSaved() const;  // from Peizhi.ini
  AlertChannels Over(const Saved& saved) const;
  Saved saved_;  // read by Load, so a tick does not parse the file
  std::optional<MailAccount> backup_;
  SettingsFilePasswordStore file_passwords_;
  PasswordStore* passwords_ = &file_passwords_;
};

}  // namespace fahuo
