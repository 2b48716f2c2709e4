#pragma once
// Monitoring on and off (按钮1), the elapsed-time clock, and the keep-alive that keeps the
// sign-in from lapsing. Each refresh tick reads the records on the reader's worker and mails
// the due bills on the sender's, so a mailbox that hangs never holds the reading; the
// seller's actions run on the sender's worker too (no durable write on the UI thread).
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

class BounceRounds;
class Shop;
class Worker;
struct SettingKey;

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

  // Reads and deliveries run for `shop` (which outlives this) and report to `window`; boxes,
  // the log and the rule table come from `services`.
  RunControl(const Controls& controls, Shop& shop, DeliveryReports reports,
             const AppServices& services, QObject* parent = nullptr);
  ~RunControl() override;

  void OnStartStopClicked();
  void OnRefreshTick();
  void OnElapsedTick();
  void OnKeepAliveTick();
  // Runs `action` (a seller's change of a bill) on the sender's worker after what is queued
  // there, then mails the due bills over the account monitoring runs with, or the panel's
  // fields when it is stopped. Nothing posted is dropped before the program ends.
  void RunSellerAction(std::function<void()> action);

  bool running() const;
  int32_t elapsed_seconds() const { return elapsed_seconds_; }
  // The account passes send with: the three fields as they were when monitoring started.
  MailAccount account() const { return account_; }
  // The account a delivery would use now: that one while monitoring runs, else the fields.
  MailAccount account_now() const { return DeliveryAccount(); }

  // Logs in to `account`'s inbox on `server` (empty: derived) on the bounce reader's worker
  // and hands `done` (that thread) the seller's words and whether it logged in.
  void TestInbox(const MailAccount& account, const std::string& server,
                 std::function<void(const std::string&, bool)> done);

  // Cuts the mail exchange and the requests under way and waits for the workers, which end
  // at once then. Nothing starts afterwards. For the end of the program.
  void Shutdown();

  // How a read, a delivery and a keep-alive request run; tests may replace them. Each runs
  // on its worker; a tick that finds that worker busy is dropped for it.
  std::function<void(const DeliveryOutlet&)> read_records;
  std::function<void(const DeliveryOutlet&, const MailAccount&)> deliver_due;
  std::function<void()> keep_alive_request;
  // The second sending account, read at each 开始; empty or none: only the fields'.
  std::function<std::optional<MailAccount>()> backup_account;
  // A round of the bounce reader (on its worker): reads the inboxes when one is due.
  std::function<void(BounceRounds&, const DeliveryOutlet&)> bounce_round;

 private:
  MailAccount FieldsAccount() const;
  // Mails per minute for `gbk_server`: the setting `key` ([发信] 每分钟封数 or
  // 备用每分钟封数), else the provider's preset.
  int SendingPace(const std::string& gbk_server, const SettingKey& key) const;
  // The account deliveries use now.
  MailAccount DeliveryAccount() const;
  // A delivery on the sender's worker unless one is queued or running.
  void OfferDelivery();
  // The bounce reader's plan for monitoring that starts (`on`) or stops.
  void PlanBounces(bool on);

  Controls c_;
  const AppServices services_;
  Shop* shop_;
  DeliveryReports reports_;
  MailAccount account_;
  std::unique_ptr<Worker> reader_worker_;
  std::unique_ptr<Worker> sender_worker_;
  std::unique_ptr<Worker> keep_alive_worker_;
  // The bounce reader's: a hung inbox holds neither the records nor the mail.
  std::unique_ptr<Worker> bounce_worker_;
  std::shared_ptr<BounceRounds> bounce_rounds_;  // touched on bounce_worker_ only
  int32_t elapsed_seconds_ = 0;                  // ElapsedSeconds
  std::optional<int64_t> last_keep_alive_tick_;  // LastKeepAliveTick; none sent yet
};

}  // namespace fahuo
