#pragma once
// The alerts in the program: the [提醒] settings, the courier that carries alerts to the
// seller, the monitor that watches what the reader and the sender report, a minute timer
// for what comes with time (unread records, a mailbox that stays unreachable, the daily
// summary), and the 提醒设置 window with 发送测试提醒.
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_services.h"
#include "delivery/alert_courier.h"
#include "delivery/alert_monitor.h"
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
  };
  // Boxes open over `window`; `clock` and `mail` as the shop's.
  AlertControl(QWidget* window, const Clock& clock, const mail::Options& mail,
               const AppServices& services, Hooks hooks, QObject* parent = nullptr);
  ~AlertControl() override;

  // The delivery window the reader and the sender report to: `inner`, watched.
  std::shared_ptr<DeliveryWindow> Watch(std::shared_ptr<DeliveryWindow> inner);

  // Reads [提醒] (start-up, after a save) and starts the minute timer.
  void Load();
  void OnTick();
  void BillsUnknown(const std::vector<std::string>& serials);
  void HeldPaymentsWaiting(size_t count);
  // The 提醒设置 window (modal).
  void OpenSettings();
  // Cuts the alert under way; nothing is sent afterwards.
  void Shutdown();

  // The channels as saved, over the account deliveries use now.
  AlertChannels Channels() const;
  AlertCourier& courier() { return *courier_; }

 private:
  QWidget* window_;
  const Clock& clock_;
  const AppServices services_;
  const Hooks hooks_;
  std::shared_ptr<AlertCourier> courier_;
  std::shared_ptr<AlertMonitor> monitor_;
  QTimer* timer_;
};

}  // namespace fahuo
