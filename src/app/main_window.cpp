#include "app/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "app/alert_control.h"
#include "app/app_setup.h"
#include "app/bill_list_model.h"
#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "app/delivery_window_adapter.h"
#include "app/held_payments_prompt.h"
#include "app/mail_test_actions.h"
#include "app/order_actions.h"
#include "app/record_window.h"
#include "app/run_control.h"
#include "app/settings_binder.h"
#include "app/start_up_checks.h"
#include "app/statistics_window.h"
#include "app/status_line.h"
#include "app/stock_window.h"
#include "app/tray.h"
#include "capture/qt/cookie_mirror.h"
#include "capture/qt/sign_in_watch.h"
#include "delivery/shop.h"
#include "platform/gbk.h"
#include "rules/qt/rules_window.h"
#include "rules/rule_table.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

constexpr int kLogBoxLines = 5000;

}  // namespace

MainWindow::MainWindow(Shop& shop, const AppServices& services, QWidget* parent)
    : QWidget(parent), shop_(shop), services_(services) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(ProgramTitle());
  setWindowIcon(ProgramIcon());
  setGeometry(QRect(QPoint(50, 50), kDefaultSize));
  // The controls sit on a canvas in a frameless scroll area: at the default size nothing
  // scrolls and every control is where the layout puts it; on a screen smaller than that
  // the seller scrolls instead of losing the panel.
  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  canvas_ = new QWidget;
  canvas_->setObjectName(QStringLiteral("画布"));
  canvas_->setMinimumSize(kDefaultSize);
  canvas_->installEventFilter(this);
  scroll->setWidget(canvas_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll);
  QSize smallest = kDefaultSize;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    smallest = smallest.boundedTo(screen->availableGeometry().size());
  setMinimumSize(smallest);
  BuildControls();
  tray_ = new TrayController(this, 托盘菜单, services_.dialogs, this);
  WireControls();
  WireSettings();
  WireDelivery();
  WireSignIn();
}

MainWindow::~MainWindow() { services_.log.SetSink(nullptr); }

void MainWindow::UsePasswordStore(PasswordStore& store) {
  settings_->UsePasswordStore(store);
  alerts_->UsePasswordStore(store);
}

void MainWindow::WireControls() {
  connect(status_timer_, &QTimer::timeout, this, [this] { ShowStatusLine(); });
  const QList<QAction*> tray_actions = 托盘菜单->actions();
  connect(tray_actions.at(0), &QAction::triggered, this, [this] { tray_->OnOpen(); });
  connect(tray_actions.at(1), &QAction::triggered, this, [this] { tray_->OnClose(); });
  connect(单选框_全部账单, &QRadioButton::clicked, this, [this] { ShowSelectedList(); });
  connect(单选框_新增账单, &QRadioButton::clicked, this, [this] { ShowSelectedList(); });
  connect(按钮_设置, &QPushButton::clicked, this, [this] { OpenRulesWindow(); });
  connect(按钮_发货记录, &QPushButton::clicked, this, [this] { OpenRecordWindow(); });
  connect(按钮_库存管理, &QPushButton::clicked, this, [this] { OpenStockWindow(); });
  connect(按钮_统计, &QPushButton::clicked, this, [this] { OpenStatisticsWindow(); });
  // Weeks of entries would grow the box without end; the log files keep everything. The
  // block after the last line break is empty, hence one more.
  编辑框_本地IP->setMaximumBlockCount(kLogBoxLines + 1);
  // Log entries reach the box in the order they entered the log.
  services_.log.SetSink([this](const std::string& entry) {
    QString text = FromGbk(entry);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    PostToUi(this, [this, text] {
      QTextCursor cursor(编辑框_本地IP->document());
      cursor.movePosition(QTextCursor::End);
      cursor.insertText(text);
      编辑框_本地IP->verticalScrollBar()->setValue(编辑框_本地IP->verticalScrollBar()->maximum());
      emit logShown();
    });
  });
}

void MainWindow::WireSettings() {
  status_line_ = std::make_unique<StatusLine>(
      shop_, 标签_进度, [this] { return order_actions_ ? order_actions_->Pending() : 0; });
  settings_ = new SettingsBinder(
      {
          .编辑框_邮箱服务器地址 = 编辑框_邮箱服务器地址,
          .编辑框_邮箱用户名 = 编辑框_邮箱用户名,
          .编辑框_邮箱密码 = 编辑框_邮箱密码,
          .编辑框_间隔时间 = 编辑框_间隔时间,
      },
      SettingsPath(services_.data_folder), services_.log, this);
  load_settings = [this] { settings_->Load(); };
  connect(settings_, &SettingsBinder::writeFailed, this,
          [this](const QString& message) { status_line_->SettingsWriteFailed(message); });
  connect(settings_, &SettingsBinder::writeRecovered, this,
          [this](const QString& message) { status_line_->SettingsWriteRecovered(message); });
  alerts_ = new AlertControl(
      this, shop_.clock(), shop_.mail_options(), services_,
      {
          .account = [this] { return run_control_->account_now(); },
          .watching = [this] { return run_control_->running() && shop_.baseline().Loaded(); },
          .last_records_read = [this] { return shop_.LastRecordsRead(); },
          .counts =
              [this] {
                status_line_->Recount();
                SummaryCounts counts;
                counts.sent_today = status_line_->sent_today();
                counts.waiting = status_line_->need_seller();
                ReadSummaryFigures(shop_.ledger(), shop_.clock().UnixSeconds(),
                                   shop_.clock().Today(), counts);
                return counts;
              },
          .quiet_bills = [this](int64_t now) { return ReadQuietBills(shop_.ledger(), now); },
          .test_inbox =
              [this](const MailAccount& account, const std::string& server,
                     std::function<void(const std::string&, bool)> done) {
                run_control_->TestInbox(account, server, std::move(done));
              },
      },
      this);
  connect(按钮_提醒设置, &QPushButton::clicked, this, [this] { alerts_->OpenSettings(); });
  mail_actions_ =
      new MailTestActions(this, services_.dialogs, 编辑框_邮箱服务器地址, 编辑框_邮箱用户名,
                          编辑框_邮箱密码, 按钮_连接, 按钮_发送, 按钮2, shop_.mail_options(), this);
}

void MainWindow::WireDelivery() {
  // Hooks run on the UI thread, only while this window exists. The window follows the
  // reader's and the sender's events first, then the alerts.
  reports_ = MakeDeliveryWindow(
      this, services_.dialogs, services_.log,
      {
          .bills_changed = [this] { RedrawSelectedBills(); },
          .sign_in_lapsed = [this] { OnSignInLapsed(); },
          .sign_in_restored = [this] { OnSignInRestored(); },
          .held_payments_found = [this] { held_payments_->Ask(); },
          .verification_needed = [this](bool needed) { OnVerificationNeeded(needed); },
          .notify = [this](const QString& title,
                           const QString& text) { tray_->Notify(title, text); },
      });
  reports_.events = std::make_shared<DeliveryEventHub>(
      std::vector<std::shared_ptr<DeliveryEvents>>{reports_.events, alerts_->Listener()});
  run_control_ = new RunControl(
      {
          .window = this,
          .按钮1 = 按钮1,
          .编辑框_间隔时间 = 编辑框_间隔时间,
          .编辑框_邮箱服务器地址 = 编辑框_邮箱服务器地址,
          .编辑框_邮箱用户名 = 编辑框_邮箱用户名,
          .编辑框_邮箱密码 = 编辑框_邮箱密码,
          .按钮_设置 = 按钮_设置,
          .标签_时间 = 标签_时间,
          .时钟_刷新 = 时钟_刷新,
          .时钟_记时 = 时钟_记时,
          .时钟_防止掉线 = 时钟_防止掉线,
      },
      shop_, reports_, services_, this);
  run_control_->backup_account = [this] { return alerts_->BackupAccount(); };
  // 恢复发送 on the status line ends the provider's pause at the seller's word.
  connect(标签_进度, &QLabel::linkActivated, this, [this] {
    run_control_->RunSellerAction(
        [shop = &shop_, reports = reports_] { shop->sender().LiftPause(reports.Outlet()); });
  });
  held_payments_ = std::make_unique<HeldPaymentsPrompt>(HeldPaymentsPrompt::Parts{
      .shop = shop_,
      .dialogs = services_.dialogs,
      .window = this,
      .reports = reports_,
      .held_waiting = [this](size_t count) { alerts_->HeldPaymentsWaiting(count); },
      .notify = [this](const QString& title, const QString& text) { tray_->Notify(title, text); },
      .run_seller_action = SellerRunner(),
  });
  // The actions report like a pass (BillsChanged): the lists redraw from there.
  order_actions_ = new OrderActions(shop_, reports_, SellerRunner(), services_.dialogs, this, this);
  connect(order_actions_, &OrderActions::pendingChanged, this, [this] { ShowStatusLine(); });
  connect(超级列表框1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const QModelIndex index = 超级列表框1->indexAt(at);
    const std::string serial = bill_model_->SerialAt(index.row());
    if (index.isValid() && !serial.empty())
      order_actions_->ShowMenu(超级列表框1->viewport()->mapToGlobal(at), serial);
  });
}

void MainWindow::WireSignIn() {
  MirrorCookies(超文本浏览框1->page()->profile(), shop_.http());
  // Whatever the seller does in the browser while reading is held back (a sign-in, a
  // solved slider) is looked at by the next refresh, not a minute later.
  connect(超文本浏览框1, &QWebEngineView::loadFinished, this, [this] {
    if (shop_.ReadingHeldBack()) shop_.ReadSoon();
  });
  sign_in_watch_ = new SignInWatch(超文本浏览框1, 超级列表框1, this);
  sign_in_watch_->load_pages = [shop = &shop_](RecordPagesSink& sink) {
    if (shop->baseline().Begin()) shop->LoadBaseline(sink);
  };
  connect(sign_in_watch_, &SignInWatch::progress, this, [this](int pages, qulonglong bills) {
    标签_进度->setText(
        QStringLiteral("正在读取交易记录：已读 %1 页，%2 笔账单").arg(pages).arg(bills));
  });
  connect(sign_in_watch_, &SignInWatch::pagesLoaded, this, [this] {
    if (shop_.baseline().KeepFailed()) {
      AppendLog(FAHUO_GBK("发货记录无法写入，读取的交易记录只在本次运行中记住：") +
                Utf8ToGbk(shop_.ledger().LastError()) + "\r\n");
    }
    RedrawSelectedBills();
    FitBillListColumns(超级列表框1);
    status_timer_->start(5000);
    时钟_防止掉线->start(10000);
    held_payments_->Ask();
  });
}

bool MainWindow::StartUp() {
  tray_->Install();
  超文本浏览框1->setUrl(QUrl(QString::fromStdString(shop_.site().StartAddress())));
  if (!OpenOrRecreateBillTable(bill_table_, services_.data_folder.File("zhifubaoZD.edb"),
                               services_.dialogs, this)) {
    return false;
  }
  标签_本地数据库->setText(QStringLiteral("数据库:已连接"));
  const LedgerOpening opening =
      TellLedgerOpening(shop_.Open(services_.data_folder.File("fahuo.db")), true, services_.dialogs,
                        services_.log, this);
  // The rules are needed before 开始 too: a seller's resend while monitoring is off, or the
  // held payments delivered at sign-in, would otherwise find no rule and be skipped. A
  // table that does not read is told when 开始 is pressed.
  LoadRuleList(RuleTablePath(services_.data_folder), shop_.rules());
  if (load_settings) load_settings();
  alerts_->Load();
  alerts_->BillsUnknown(opening.interrupted);
  if (opening.busy) RetryLedgerSoon();
  return true;
}

void MainWindow::RetryLedgerSoon() {
  // The try waits on the file's lock for a while: on the sender's worker, like every write,
  // so the window stays live.
  QTimer::singleShot(5000, this, [this] {
    run_control_->RunSellerAction([this] {
      const Shop::OpenReport report = shop_.Open(services_.data_folder.File("fahuo.db"));
      PostToUi(this, [this, report] {
        const LedgerOpening opening =
            TellLedgerOpening(report, false, services_.dialogs, services_.log, this);
        if (opening.busy) return RetryLedgerSoon();
        alerts_->BillsUnknown(opening.interrupted);
        RedrawSelectedBills();
      });
    });
  });
}

void MainWindow::Shutdown() {
  alerts_->Shutdown();
  run_control_->Shutdown();  // also tells the shop to stop, so the page loading ends too
  mail_actions_->Shutdown();
  sign_in_watch_->Stop();
  settings_->Shutdown();  // a password typed but not yet written is kept
  // No worker runs any more. Closing the ledger checkpoints it, and SQLite removes
  // fahuo.db-wal and fahuo.db-shm; what the UI thread still gets (a late report, a timer)
  // leaves the window as it is.
  status_timer_->stop();
  if (record_window_) record_window_->hide();
  if (stock_window_) stock_window_->hide();
  if (statistics_window_) {
    statistics_window_->Stop();  // its own connection on the file ends with its reading
    statistics_window_->hide();
  }
  ledger_closed_ = true;
  shop_.ledger().Close();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == canvas_ && event->type() == QEvent::Resize)
    Arrange(static_cast<QResizeEvent*>(event)->size());
  return QWidget::eventFilter(watched, event);
}

void MainWindow::ShowStatusLine() { status_line_->Show(); }

void MainWindow::OnSignInLapsed() {
  sign_in_watch_->ShowSignIn(QString::fromStdString(shop_.site().StartAddress()));
  ShowStatusLine();
}

void MainWindow::OnVerificationNeeded(bool needed) {
  if (!needed) return OnSignInRestored();
  // The page the service shows in the records' place is solved where the seller signed in.
  sign_in_watch_->ShowSignIn(QString::fromStdString(shop_.baseline().CurrentRecordsAddress()));
  ShowStatusLine();
}

void MainWindow::OnSignInRestored() {
  超文本浏览框1->hide();
  超级列表框1->show();
  RedrawSelectedBills();
}

void MainWindow::AskAboutHeldPayments() { held_payments_->Ask(); }

void MainWindow::AppendLog(const std::string& gbk_entry) { services_.log.Append(gbk_entry); }

std::function<void(std::function<void()>)> MainWindow::SellerRunner() {
  return [this](std::function<void()> job) { run_control_->RunSellerAction(std::move(job)); };
}

StockWindow* MainWindow::NewStockWindow(QWidget* parent) {
  return new StockWindow(shop_.ledger(), shop_.clock(), SellerRunner(), services_.dialogs, parent);
}

void MainWindow::OpenStockWindow() {
  if (ledger_closed_) return;
  // A new window reads the stocks itself; one opened before may be behind.
  if (stock_window_) {
    stock_window_->Reload();
  } else {
    stock_window_ = NewStockWindow(this);
  }
  stock_window_->show();
  stock_window_->raise();
  stock_window_->activateWindow();
}

void MainWindow::OpenStatisticsWindow() {
  if (ledger_closed_) return;
  if (!statistics_window_) {
    statistics_window_ =
        new StatisticsWindow(services_.data_folder.File("fahuo.db"), services_.dialogs, this);
  }
  statistics_window_->Refresh();  // the bills may have changed since it was last shown
  statistics_window_->show();
  statistics_window_->raise();
  statistics_window_->activateWindow();
}

void MainWindow::OpenRecordWindow() {
  if (ledger_closed_) return;
  if (!record_window_)
    record_window_ = new RecordWindow(shop_, order_actions_, services_.dialogs, this);
  record_window_->show();
  record_window_->raise();
  record_window_->activateWindow();
}

void MainWindow::RedrawSelectedBills() {
  if (ledger_closed_) return;
  bill_model_->Sync();
  if (record_window_ && record_window_->isVisible()) record_window_->Reload();
  // A delivery takes codes: the stock window's counts follow.
  if (stock_window_ && stock_window_->isVisible()) stock_window_->Reload();
  status_line_->Recount();
  ShowStatusLine();
}

void MainWindow::ShowSelectedList() {
  if (ledger_closed_) return;
  bill_model_->Show(单选框_新增账单->isChecked() ? &shop_.NewBills() : &shop_.AllBills());
  status_line_->Recount();
  ShowStatusLine();
}

void MainWindow::OpenRulesWindow() {
  RulesWindow window(RuleTablePath(services_.data_folder), shop_.rules(), services_.dialogs, this);
  window.setWindowModality(Qt::ApplicationModal);
  // 发送预览 mails over the account in the panel's fields, on the mail tests' worker.
  window.SetPreviewHook([this, &window](const DeliveryRule& rule, std::function<void()> done) {
    mail_actions_->SendRulePreview(&window, rule, std::move(done));
  });
  // Over the modal rules window, and modal itself so that it takes the input; it goes with
  // the rules window at the latest.
  window.SetStockHook([this](QWidget* over) {
    StockWindow* stocks = NewStockWindow(over);
    stocks->setAttribute(Qt::WA_DeleteOnClose);
    stocks->setWindowModality(Qt::ApplicationModal);
    stocks->show();
  });
  window.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (tray_->CanHideToTray()) {
    hide();
  } else {
    // Without a tray a hidden window could never come back: closing asks to quit.
    tray_->OnClose();
  }
}

}  // namespace fahuo
