#include "app/main_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
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
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <ctime>

#include "app/alert_control.h"
#include "app/app_setup.h"
#include "app/bill_list_model.h"
#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "app/delivery_window_adapter.h"
#include "app/mail_presets_menu.h"
#include "app/mail_test_actions.h"
#include "app/order_actions.h"
#include "app/record_window.h"
#include "app/run_control.h"
#include "app/settings_binder.h"
#include "app/stock_window.h"
#include "app/tray.h"
#include "capture/qt/cookie_mirror.h"
#include "capture/qt/sign_in_watch.h"
#include "capture/records_address.h"
#include "delivery/bill_state_text.h"
#include "delivery/shop.h"
#include "platform/http_client.h"
#include "platform/local_time.h"
#include "rules/qt/rules_window.h"
#include "rules/rule_table.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromUtf8(name));
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect geometry) {
  auto* label = Named(new QLabel(QString::fromUtf8(caption), parent), name);
  label->setGeometry(geometry);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
  auto* button = Named(new QPushButton(QString::fromUtf8(caption), parent), name);
  button->setGeometry(geometry);
  return button;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* edit = Named(new QLineEdit(text, parent), name);
  edit->setGeometry(geometry);
  return edit;
}

// The size the layout is drawn for; the window is never made smaller than this (unless the
// screen is: then the controls scroll).
constexpr QSize kDefaultSize(1024, 650);

// Local midnight of the day `now` falls in.
int64_t StartOfDay(int64_t now) {
  std::tm local{};
  ToLocalTime(now, local);
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  local.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&local));
}

const char kNotice[] =
    "使用方法：先在左侧网页登录收款账户；再点击“发货内容设置”按金额设置发货邮件，"
    "填写发信服务器、发信邮箱和邮箱密码并测试；最后点击“开始”。"
    "买家付款时在付款说明里留下邮箱或QQ号码，软件即自动发货。";

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
  WireParts();
}

void MainWindow::UsePasswordStore(PasswordStore& store) {
  settings_->UsePasswordStore(store);
  alerts_->UsePasswordStore(store);
}

void MainWindow::WireParts() {
  settings_ = new SettingsBinder(
      {
          .编辑框_邮箱服务器地址 = 编辑框_邮箱服务器地址,
          .编辑框_邮箱用户名 = 编辑框_邮箱用户名,
          .编辑框_邮箱密码 = 编辑框_邮箱密码,
          .编辑框_间隔时间 = 编辑框_间隔时间,
      },
      SettingsPath(services_.data_folder), services_.log, this);
  load_settings = [this] { settings_->Load(); };
  // A settings file that cannot be written stays on the line until a write succeeds again:
  // the status line's own refresh must not wipe it.
  connect(settings_, &SettingsBinder::writeFailed, this, [this](const QString& message) {
    settings_notice_ = message;
    标签_进度->setText(message);
  });
  connect(settings_, &SettingsBinder::writeRecovered, this, [this](const QString& message) {
    settings_notice_.clear();
    标签_进度->setText(message);
  });
  alerts_ = new AlertControl(
      this, shop_.clock(), shop_.mail_options(), services_,
      {
          .account = [this] { return run_control_->account_now(); },
          .watching = [this] { return run_control_->running() && shop_.baseline().Loaded(); },
          .last_records_read = [this] { return shop_.LastRecordsRead(); },
          .counts =
              [this] {
                CountOrders();
                SummaryCounts counts{
                    static_cast<int64_t>(sent_today_), static_cast<int64_t>(need_seller_), {}};
                for (const StockSummary& s : shop_.ledger().Stocks()) {
                  counts.stocks.push_back({s.name, s.available});
                }
                return counts;
              },
      },
      this);
  connect(按钮_提醒设置, &QPushButton::clicked, this, [this] { alerts_->OpenSettings(); });
  // Hooks run on the UI thread, only while this window exists. The alerts watch what the
  // reader and the sender report on their way to the window.
  delivery_window_ = alerts_->Watch(
      MakeDeliveryWindow(this, services_.dialogs, services_.log,
                         {
                             .bills_changed = [this] { RedrawSelectedBills(); },
                             .sign_in_lapsed = [this] { OnSignInLapsed(); },
                             .sign_in_restored = [this] { OnSignInRestored(); },
                             .held_payments_found = [this] { AskAboutHeldPayments(); },
                             .notify = [this](const QString& title,
                                              const QString& text) { tray_->Notify(title, text); },
                         }));
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
      shop_, delivery_window_, services_, this);
  run_control_->backup_account = [this] { return alerts_->BackupAccount(); };
  mail_actions_ =
      new MailTestActions(this, services_.dialogs, 编辑框_邮箱服务器地址, 编辑框_邮箱用户名,
                          编辑框_邮箱密码, 按钮_连接, 按钮_发送, 按钮2, shop_.mail_options(), this);
  order_actions_ =
      new OrderActions(shop_, delivery_window_, SellerRunner(), services_.dialogs, this, this);
  connect(order_actions_, &OrderActions::pendingChanged, this, [this] { ShowStatusLine(); });
  // The actions report through the delivery window like a pass (BillsChanged): the lists
  // redraw from there.
  connect(超级列表框1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const QModelIndex index = 超级列表框1->indexAt(at);
    const std::string serial = bill_model_->SerialAt(index.row());
    if (index.isValid() && !serial.empty())
      order_actions_->ShowMenu(超级列表框1->viewport()->mapToGlobal(at), serial);
  });
  connect(按钮_发货记录, &QPushButton::clicked, this, [this] { OpenRecordWindow(); });
  connect(按钮_库存管理, &QPushButton::clicked, this, [this] { OpenStockWindow(); });
  MirrorCookies(超文本浏览框1->page()->profile(), shop_.http());
  sign_in_watch_ = new SignInWatch(超文本浏览框1, 超级列表框1, this);
  sign_in_watch_->load_pages = [shop = &shop_](RecordPagesSink& sink) {
    if (shop->baseline().Begin()) shop->LoadBaseline(sink);
  };
  connect(sign_in_watch_, &SignInWatch::progress, this, [this](int pages, qulonglong bills) {
    标签_进度->setText(
        QStringLiteral("正在读取交易记录：已读 %1 页，%2 笔账单").arg(pages).arg(bills));
  });
  connect(sign_in_watch_, &SignInWatch::pagesLoaded, this, [this] {
    RedrawSelectedBills();
    FitBillListColumns(超级列表框1);
    status_timer_->start(5000);
    时钟_防止掉线->start(10000);
    AskAboutHeldPayments();
  });
}

MainWindow::~MainWindow() { services_.log.SetSink(nullptr); }

void MainWindow::BuildControls() {
  QWidget* c = canvas_;
  超文本浏览框1 = Named(new QWebEngineView(c), "超文本浏览框1");

  bill_model_ = new BillListModel(shop_.ledger(), this);
  bill_model_->Show(&shop_.AllBills());
  超级列表框1 = Named(CreateBillListView(c, bill_model_), "超级列表框1");
  超级列表框1->hide();

  标签_进度 = Named(new QLabel(c), "标签_进度");
  标签_进度->setStyleSheet(QStringLiteral("color: rgb(128,128,128);"));

  分组框1 = Named(new QGroupBox(c), "分组框1");
  BuildPanel();
  按钮_发货记录 = MakeButton(c, "按钮_发货记录", "发货记录", {});
  按钮_发货记录->setToolTip(QStringLiteral("查看每一笔账单的发货情况，重新发送或导出"));
  按钮_提醒设置 = MakeButton(c, "按钮_提醒设置", "提醒设置", {});
  按钮_提醒设置->setToolTip(
      QStringLiteral("登录失效、邮箱拒绝发信、账单需要处理时，发邮件或推送到手机提醒您"));
  按钮_库存管理 = MakeButton(c, "按钮_库存管理", "库存管理", {});
  按钮_库存管理->setToolTip(QStringLiteral("卡密库存：添加卡密，查看剩余，按卡密查找买家"));
  Arrange(kDefaultSize);

  status_timer_ = new QTimer(this);
  connect(status_timer_, &QTimer::timeout, this, [this] { ShowStatusLine(); });

  时钟_刷新 = Named(new QTimer(this), "时钟_刷新");
  时钟_记时 = Named(new QTimer(this), "时钟_记时");
  时钟_防止掉线 = Named(new QTimer(this), "时钟_防止掉线");

  托盘菜单 = Named(new QMenu(this), "托盘菜单");
  QAction* open = 托盘菜单->addAction(QStringLiteral("打开"));
  QAction* close = 托盘菜单->addAction(QStringLiteral("关闭"));
  connect(open, &QAction::triggered, this, [this] { tray_->OnOpen(); });
  connect(close, &QAction::triggered, this, [this] { tray_->OnClose(); });

  connect(单选框_全部账单, &QRadioButton::clicked, this, [this] { ShowSelectedList(); });
  connect(单选框_新增账单, &QRadioButton::clicked, this, [this] { ShowSelectedList(); });
  connect(按钮_设置, &QPushButton::clicked, this, [this] { OpenRulesWindow(); });

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

void MainWindow::BuildPanel() {
  QWidget* g = 分组框1;
  单选框_全部账单 = Named(new QRadioButton(QStringLiteral("全部账单"), g), "单选框_全部账单");
  单选框_全部账单->setGeometry(10, 15, 72, 20);
  单选框_全部账单->setChecked(true);
  单选框_新增账单 = Named(new QRadioButton(QStringLiteral("新增账单"), g), "单选框_新增账单");
  单选框_新增账单->setGeometry(90, 15, 72, 20);

  标签1 = MakeLabel(g, "标签1", "刷新间隔", {10, 50, 56, 16});
  编辑框_间隔时间 = MakeEdit(g, "编辑框_间隔时间", QStringLiteral("6000"), {65, 50, 80, 20});
  按钮1 = MakeButton(g, "按钮1", "开始", {150, 50, 56, 20});
  标签2 = MakeLabel(g, "标签2", "发信服务器", {10, 81, 60, 20});
  编辑框_邮箱服务器地址 =
      MakeEdit(g, "编辑框_邮箱服务器地址", QStringLiteral("smtp.qq.com"), {80, 80, 130, 20});
  AttachMailPresets(编辑框_邮箱服务器地址);
  标签3 = MakeLabel(g, "标签3", "发信邮箱", {10, 108, 60, 20});
  编辑框_邮箱用户名 = MakeEdit(g, "编辑框_邮箱用户名", {}, {80, 108, 130, 20});
  标签4 = MakeLabel(g, "标签4", "邮箱密码", {10, 136, 60, 20});
  编辑框_邮箱密码 = MakeEdit(g, "编辑框_邮箱密码", {}, {80, 136, 130, 20});
  编辑框_邮箱密码->setEchoMode(QLineEdit::Password);
  编辑框_邮箱密码->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

  按钮_连接 = MakeButton(g, "按钮_连接", "邮件连接测试", {12, 165, 96, 30});
  按钮_发送 = MakeButton(g, "按钮_发送", "邮件发送测试", {115, 165, 96, 30});
  按钮_设置 = MakeButton(g, "按钮_设置", "发货内容设置", {12, 205, 96, 30});
  按钮2 = MakeButton(g, "按钮2", "发信设置技巧", {115, 205, 96, 30});

  分组框3 = Named(new QGroupBox(QStringLiteral("友情提示"), g), "分组框3");
  分组框3->setGeometry(10, 243, 200, 170);
  编辑框1 = Named(new QPlainTextEdit(QString::fromUtf8(kNotice), g), "编辑框1");
  编辑框1->setGeometry(14, 261, 192, 150);
  编辑框1->setReadOnly(true);
  编辑框1->setFrameShape(QFrame::NoFrame);
  编辑框1->setStyleSheet(QStringLiteral("background-color: rgb(240,240,240);"));

  分组框2 = Named(new QGroupBox(QStringLiteral("发货提示"), g), "分组框2");
  分组框2->setGeometry(10, 420, 200, 140);
  编辑框_本地IP = Named(new QPlainTextEdit(g), "编辑框_本地IP");
  编辑框_本地IP->setGeometry(15, 437, 190, 115);
  编辑框_本地IP->setReadOnly(true);
  编辑框_本地IP->setFrameShape(QFrame::NoFrame);
  编辑框_本地IP->setStyleSheet(
      QStringLiteral("color: rgb(128,128,128); background-color: rgb(236,236,236);"));
  // Stacking: the two text boxes sit over their group boxes.
  编辑框1->raise();
  编辑框_本地IP->raise();

  标签_本地数据库 = MakeLabel(g, "标签_本地数据库", "数据库:未连接", {10, 564, 80, 20});
  标签_时间 = MakeLabel(g, "标签_时间", "已经运行:00:00:00", {97, 564, 120, 20});
}

bool MainWindow::StartUp() {
  tray_->Install();
  超文本浏览框1->setUrl(QUrl(QString::fromStdString(shop_.site().StartAddress())));
  if (!OpenOrRecreateBillTable()) return false;
  OpenLedger();
  // The rules are needed before 开始 too: a seller's resend while monitoring is off, or the
  // held payments delivered at sign-in, would otherwise find no rule and be skipped. A
  // table that does not read is told when 开始 is pressed.
  LoadRuleList(RuleTablePath(services_.data_folder), shop_.rules());
  if (load_settings) load_settings();
  alerts_->Load();
  alerts_->BillsUnknown(interrupted_serials_);
  return true;
}

void MainWindow::OpenLedger() {
  Shop::OpenReport report = shop_.Open(services_.data_folder.File("fahuo.db"));
  if (!report.moved_aside_to.empty()) {
    services_.dialogs.ShowMessage(
        this,
        QStringLiteral("发货记录文件已损坏，已另存为 %1，并新建了发货记录。")
            .arg(QString::fromStdString(report.moved_aside_to)),
        QStringLiteral("错误"), Dialogs::Icon::kWarning);
  }
  if (!report.ok) {
    services_.dialogs.ShowMessage(this,
                                  QStringLiteral("发货记录无法打开，不会发送任何邮件：%1")
                                      .arg(QString::fromStdString(report.error)),
                                  QStringLiteral("错误"), Dialogs::Icon::kCritical);
    return;
  }
  for (const LedgerEntry& e : report.interrupted) interrupted_serials_.push_back(e.bill.流水号);
  if (!report.interrupted.empty()) {
    std::string serials;
    for (const LedgerEntry& e : report.interrupted)
      serials += (serials.empty() ? "" : "，") + GbkToUtf8(e.bill.流水号);
    AppendLog(ToGbk(
        QStringLiteral(
            "上次退出时有 %1 笔账单正在发送，无法确认买家是否收到，未重新发送，请核对：%2\r\n")
            .arg(report.interrupted.size())
            .arg(QString::fromStdString(serials))));
  }
}

void MainWindow::Shutdown() {
  alerts_->Shutdown();
  run_control_->Shutdown();  // also tells the shop to stop, so the page loading ends too
  mail_actions_->Shutdown();
  sign_in_watch_->Stop();
}

void MainWindow::Arrange(QSize size) {
  const int dw = std::max(0, size.width() - kDefaultSize.width());
  const int dh = std::max(0, size.height() - kDefaultSize.height());
  超文本浏览框1->setGeometry(8, 8, 770 + dw, 584 + dh);
  超级列表框1->setGeometry(8, 8, 750 + dw, 584 + dh);
  标签_进度->setGeometry(8, 596 + dh, 650 + dw, 20);  // 库存管理 stands at its right
  // The panel keeps its width; a taller window gives the delivery log the extra height.
  分组框1->setGeometry(788 + dw, 4, 220, 588 + dh);
  分组框2->setGeometry(10, 420, 200, 140 + dh);
  编辑框_本地IP->setGeometry(15, 437, 190, 115 + dh);
  标签_本地数据库->setGeometry(10, 564 + dh, 80, 20);
  标签_时间->setGeometry(97, 564 + dh, 120, 20);
  按钮_发货记录->setGeometry(800 + dw, 598 + dh, 96, 30);
  按钮_提醒设置->setGeometry(904 + dw, 598 + dh, 96, 30);
  按钮_库存管理->setGeometry(662 + dw, 596 + dh, 96, 30);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == canvas_ && event->type() == QEvent::Resize)
    Arrange(static_cast<QResizeEvent*>(event)->size());
  return QWidget::eventFilter(watched, event);
}

void MainWindow::CountOrders() {
  const int64_t now = shop_.clock().UnixSeconds();
  Ledger& ledger = shop_.ledger();
  sent_today_ = ledger.CountSentSince(StartOfDay(now));
  LedgerFilter waiting;
  waiting.states = SellerStates();
  need_seller_ = ledger.Count(waiting);
}

void MainWindow::ShowStatusLine() {
  if (!shop_.baseline().Loaded()) return;  // the page-loading progress is on the line
  if (!settings_notice_.isEmpty()) {
    标签_进度->setText(settings_notice_);
    return;
  }
  if (shop_.SignInLapsed()) {
    标签_进度->setText(QStringLiteral("登录已失效，请在网页中重新登录"));
    return;
  }
  if (order_actions_->Pending() > 0) {
    // The sender's worker runs them after the mail under way, which may take a while.
    标签_进度->setText(QStringLiteral("正在处理您的操作，请稍候（等待当前邮件发送结束）…"));
    return;
  }
  if (shop_.baseline().Missing()) {
    标签_进度->setText(
        QStringLiteral("交易记录暂时无法读取，开始发货后的第一次刷新将读取交易记录"));
    return;
  }
  const int64_t read = shop_.LastRecordsRead();
  QString text =
      QStringLiteral("交易记录最近读取：%1    今日已发货：%2 笔    需要处理：%3 笔")
          .arg(read ? QDateTime::fromSecsSinceEpoch(read).toString(QStringLiteral("HH:mm:ss"))
                    : QStringLiteral("—"))
          .arg(sent_today_)
          .arg(need_seller_);
  标签_进度->setText(text);
  标签_进度->setStyleSheet(need_seller_ ? QStringLiteral("color: rgb(200,0,0);")
                                        : QStringLiteral("color: rgb(128,128,128);"));
}

void MainWindow::OnSignInLapsed() {
  sign_in_watch_->ShowSignIn(QString::fromStdString(shop_.site().StartAddress()));
  ShowStatusLine();
}

void MainWindow::OnSignInRestored() {
  超文本浏览框1->hide();
  超级列表框1->show();
  RedrawSelectedBills();
}

void MainWindow::AskAboutHeldPayments() {
  const size_t held = shop_.baseline().HeldCount();
  if (held == 0 || asking_about_held_) return;
  asking_about_held_ = true;
  alerts_->HeldPaymentsWaiting(held);
  tray_->Notify(QStringLiteral("有未发货的付款"),
                QStringLiteral("有 %1 笔付款是在发货程序未运行时收到的").arg(held));
  auto answer = services_.dialogs.Ask(
      this, Dialogs::Icon::kQuestion, QStringLiteral("未运行期间的付款"),
      QStringLiteral("有 %1 笔付款是在发货程序未运行时收到的。\n是否现在按发货规则发货？\n"
                     "选择“否”则标记为已处理，不发送邮件。")
          .arg(held),
      Dialogs::Buttons::kYesNo);
  asking_about_held_ = false;
  const bool deliver = answer == Dialogs::Answer::kYes;
  // On the sender's worker, as every durable change; the log line and the redraw follow.
  run_control_->RunSellerAction([shop = &shop_, window = delivery_window_, deliver] {
    const size_t settled = shop->baseline().ResolveHeld(deliver);
    window->AppendLog(
        ToGbk(deliver ? QStringLiteral("%1 笔未运行期间的付款将按发货规则发货\r\n").arg(settled)
                      : QStringLiteral("%1 笔未运行期间的付款已标记为已处理\r\n").arg(settled)));
    window->BillsChanged();
  });
}

bool MainWindow::OpenOrRecreateBillTable() {
  const std::string path = services_.data_folder.File("zhifubaoZD.edb");
  const QString connected = QStringLiteral("数据库:已连接");
  if (bill_table_.Open(path, &BillTableFields(), "zhifubaoZD")) {
    标签_本地数据库->setText(connected);
    return true;
  }
  auto answer = services_.dialogs.Ask(
      this, Dialogs::Icon::kQuestion, QStringLiteral("写出新的数据库"),
      QStringLiteral("打开本地数据库失败，是否重新写出数据库"), Dialogs::Buttons::kYesNo);
  if (answer != Dialogs::Answer::kYes) return false;
  if (!RecordTable::CreateEmpty(path, BillTableFields())) {
    services_.dialogs.ShowMessage(this, QStringLiteral("写出初始化数据库失败"),
                                  QStringLiteral("错误"), Dialogs::Icon::kWarning);
    return false;
  }
  if (!bill_table_.Open(path, &BillTableFields(), "zhifubaoZD")) {
    services_.dialogs.ShowMessage(this, QStringLiteral("打开数据库失败，请关闭程序后重新再试"),
                                  QStringLiteral("错误"), Dialogs::Icon::kCritical);
    return false;
  }
  标签_本地数据库->setText(connected);
  return true;
}

void MainWindow::AppendLog(const std::string& gbk_entry) { services_.log.Append(gbk_entry); }

std::function<void(std::function<void()>)> MainWindow::SellerRunner() {
  return [this](std::function<void()> job) { run_control_->RunSellerAction(std::move(job)); };
}

StockWindow* MainWindow::NewStockWindow(QWidget* parent) {
  return new StockWindow(shop_.ledger(), SellerRunner(), services_.dialogs, parent);
}

void MainWindow::OpenStockWindow() {
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

void MainWindow::OpenRecordWindow() {
  if (!record_window_)
    record_window_ = new RecordWindow(shop_, order_actions_, services_.dialogs, this);
  record_window_->show();
  record_window_->raise();
  record_window_->activateWindow();
}

void MainWindow::RedrawSelectedBills() {
  bill_model_->Sync();
  if (record_window_ && record_window_->isVisible()) record_window_->Reload();
  // A delivery takes codes: the stock window's counts follow.
  if (stock_window_ && stock_window_->isVisible()) stock_window_->Reload();
  CountOrders();
  ShowStatusLine();
}

void MainWindow::ShowSelectedList() {
  bill_model_->Show(单选框_新增账单->isChecked() ? &shop_.NewBills() : &shop_.AllBills());
  CountOrders();
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
