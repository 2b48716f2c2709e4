#pragma once
// Monitoring on and off (按钮1), one delivery pass per refresh tick on an owned worker,
// the elapsed-time clock, and the keep-alive that keeps the sign-in from lapsing.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "delivery/delivery_pass.h"

namespace fahuo {

class MainWindow;
class Shop;
class Worker;

class RunControl : public QObject {
  Q_OBJECT
 public:
  explicit RunControl(MainWindow* window);
  ~RunControl() override;

  void OnStartStopClicked();
  void OnRefreshTick();
  void OnElapsedTick();
  void OnKeepAliveTick();
  // Mails the due bills now (after the seller resent one), over the account monitoring
  // runs with, or the panel's fields when it is stopped. A pass under way is waited for.
  void DeliverNow();

  bool running() const;
  int32_t elapsed_seconds() const { return elapsed_seconds_; }
  // The account passes send with: the three fields as they were when monitoring started.
  MailAccount account() const { return account_; }

  // Waits for the running pass and keep-alive request (bounded by their network
  // time-outs). No pass starts afterwards. For the end of the program.
  void Shutdown();

  // How a pass and a keep-alive request run; tests may replace them. A pass runs on the
  // pass worker, a tick that finds it busy is dropped; the same for the keep-alive.
  std::function<void(DeliveryWindow&, const MailAccount&)> run_pass;
  std::function<void()> keep_alive_request;

 private:
  MainWindow* window_;
  Shop* shop_;
  std::shared_ptr<DeliveryWindow> delivery_window_;
  MailAccount account_;
  std::unique_ptr<Worker> pass_worker_;
  std::unique_ptr<Worker> keep_alive_worker_;
  int deliver_now_tries_ = 0;
  int32_t elapsed_seconds_ = 0;                  // ElapsedSeconds
  std::optional<int64_t> last_keep_alive_tick_;  // LastKeepAliveTick; none sent yet
};

}  // namespace fahuo
