#pragma once
// The start window: embedded browser (later the bill list) at the left, the control panel
// at the right. It builds and wires the controls; behaviour lives in the classes it owns.
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_services.h"
#include "delivery/delivery_events.h"
#include "platform/record_table.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;
class QWebEngineView;

namespace fahuo {

class TrayController;
class SettingsBinder;
class RunControl;
class MailTestActions;
class SignInWatch;
class Shop;
class BillListModel;
class OrderActions;
class RecordWindow;
class StockWindow;
class StatisticsWindow;
class PasswordStore;
class AlertControl;
class StatusLine;
class HeldPaymentsPrompt;

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  // `shop` holds the bills and the ledger; it, and what `services` names, outlive the
  // window.
  MainWindow(Shop& shop, const AppServices& services, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The created event: tray icon, browser address, bill table, delivery ledger, settings.
  // Returns whether start-up ran to its end (false when it ended early on a bill-table
  // failure).
  bool StartUp();

  // Stops the workers (delivery passes, keep-alive, page loading) and waits for them, then
  // closes the ledger; from then on the window shows what it showed and reads nothing.
  void Shutdown();

  Shop& shop() { return shop_; }

  // Appends one GBK entry to the ActivityLog; any thread.
  void AppendLog(const std::string& gbk_entry);

  // Brings the bill list up to date (new bills, changed states) and the status line with
  // it. UI thread.
  void RedrawSelectedBills();
  // Shows the list the radio buttons select, from scratch. UI thread.
  void ShowSelectedList();

  // The sign-in lapsed: the browser comes back with the sign-in page. UI thread.
  void OnSignInLapsed();
  // The records read again: the bill list comes back. UI thread.
  void OnSignInRestored();
  // A verification page stands in the records' place (`needed`), or is solved: the
  // browser shows it, or the bill list comes back. UI thread.
  void OnVerificationNeeded(bool needed);
  // Asks the seller whether the payments received while fahuo was not watching are to be
  // delivered now (Yes) or marked handled (No). UI thread.
  void AskAboutHeldPayments();

  // Hooks for the parts that are wired after construction (settings, run control).
  std::function<void()> load_settings;
  // Keeps the mailbox password in `store` (it outlives the window) rather than in
  // Peizhi.ini alone. Before StartUp().
  void UsePasswordStore(PasswordStore& store);

  TrayController* tray() const { return tray_; }
  RunControl* run_control() const { return run_control_; }

 signals:
  // Emitted on the UI thread whenever a log entry was shown (tests wait on it).
  void logShown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildPanel();
  void OpenRulesWindow();
  void OpenRecordWindow();
  void OpenStockWindow();
  void OpenStatisticsWindow();
  // Runs a seller's ledger write on the sender's worker (RunControl::RunSellerAction).
  std::function<void(std::function<void()>)> SellerRunner();
  StockWindow* NewStockWindow(QWidget* parent);

  void WireControls();
  void WireSettings();
  void WireDelivery();
  void WireSignIn();
  void ShowStatusLine();
  // Opens the ledger again in a while: it was busy.
  void RetryLedgerSoon();
  // Places the controls for a canvas of `size`: the list grows, the panel keeps right.
  void Arrange(QSize size);

  // The size the layout is drawn for; the window is never made smaller than this (unless
  // the screen is: then the controls scroll).
  static constexpr QSize kDefaultSize{1024, 650};

  Shop& shop_;
  const AppServices services_;

  // Controls, named as the system names them (also their objectName); tests
  // find them by that name.
  QWebEngineView* 超文本浏览框1 = nullptr;
  QTableView* 超级列表框1 = nullptr;
  QGroupBox* 分组框1 = nullptr;
  QRadioButton* 单选框_全部账单 = nullptr;
  QRadioButton* 单选框_新增账单 = nullptr;
  QLabel* 标签1 = nullptr;
  QLineEdit* 编辑框_间隔时间 = nullptr;
  QPushButton* 按钮1 = nullptr;
  QLabel* 标签2 = nullptr;
  QLineEdit* 编辑框_邮箱服务器地址 = nullptr;
  QLabel* 标签3 = nullptr;
  QLineEdit* 编辑框_邮箱用户名 = nullptr;
  QLabel* 标签4 = nullptr;
  QLineEdit* 编辑框_邮箱密码 = nullptr;
  QPushButton* 按钮_连接 = nullptr;
  QPushButton* 按钮_发送 = nullptr;
  QPushButton* 按钮_设置 = nullptr;
  QPushButton* 按钮2 = nullptr;
  QGroupBox* 分组框3 = nullptr;
  QPlainTextEdit* 编辑框1 = nullptr;
  QGroupBox* 分组框2 = nullptr;
  QPlainTextEdit* 编辑框_本地IP = nullptr;
  QLabel* 标签_本地数据库 = nullptr;
  QLabel* 标签_时间 = nullptr;
  QLabel* 标签_进度 = nullptr;  // page-loading progress, then the status line, under the list
  QPushButton* 按钮_发货记录 = nullptr;
  QPushButton* 按钮_提醒设置 = nullptr;
  QPushButton* 按钮_库存管理 = nullptr;
  QPushButton* 按钮_统计 = nullptr;
  QTimer* 时钟_刷新 = nullptr;
  QTimer* 时钟_记时 = nullptr;
  QTimer* 时钟_防止掉线 = nullptr;
  QMenu* 托盘菜单 = nullptr;

  TrayController* tray_ = nullptr;
  SettingsBinder* settings_ = nullptr;
  RunControl* run_control_ = nullptr;
  AlertControl* alerts_ = nullptr;
  DeliveryReports reports_;  // where the reader, the sender and the seller's actions report
  MailTestActions* mail_actions_ = nullptr;
  SignInWatch* sign_in_watch_ = nullptr;
  BillListModel* bill_model_ = nullptr;
  OrderActions* order_actions_ = nullptr;
  QPointer<RecordWindow> record_window_;
  QPointer<StockWindow> stock_window_;
  QPointer<StatisticsWindow> statistics_window_;
  QWidget* canvas_ = nullptr;  // holds the controls; scrolls when the screen is small
  QTimer* status_timer_ = nullptr;
  bool ledger_closed_ = false;  // Shutdown closed it: nothing may read it any more
  std::unique_ptr<StatusLine> status_line_;
  std::unique_ptr<HeldPaymentsPrompt> held_payments_;
  RecordTable bill_table_;
};

}  // namespace fahuo
