#pragma once
// Monitoring on and off (按钮1), one delivery pass per refresh tick on an owned worker,
// the elapsed-time clock, and the keep-alive that keeps the sign-in from lapsing.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/app_services.h"
#include "delivery/delivery_pass.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace fahuo {

class Shop;
class Worker;

class RunControl : public QObject {
  Q_OBJECT
 public:
  // The window's controls that monitoring drives, by their control names. All must be set;
  // they belong to the window the RunControl belongs to.
  struct Controls {
    QWidget* window;  // boxes open over it
    QPushButton* 按钮1;
    QLineEdit* 编辑框_间隔时间;
    QLineEdit* 编辑框_邮箱服务器地址;
    QLineEdit* 编辑框_邮箱用户名;
    QLineEdit* 编辑框_邮箱密码;
    QPushButton* 按钮_设置;
    QLabel* 标签_时间;
    QTimer* 时钟_刷新;
    QTimer* 时钟_记时;
    QTimer* 时钟_防止掉线;
  };

  // Passes run for `shop` (which outlives this) and report to `window`; boxes, the log and
  // the rule table come from `services`.
  RunControl(const Controls& controls, Shop& shop, std::shared_ptr<DeliveryWindow> window,
             const AppServices& services, QObject* parent = nullptr);
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
  MailAccount FieldsAccount() const;

  Controls c_;
  const AppServices services_;
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
