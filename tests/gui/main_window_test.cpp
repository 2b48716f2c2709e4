#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <filesystem>
#include <thread>

#include "app/app_services.h"
#include "app/bill_list_model.h"
#include "app/core/activity_log.h"
#include "app/settings_binder.h"
#include "app/tray.h"
#include "capture/bill_list.h"
#include "capture/records_address.h"
#include "controls.h"
#include "delivery/shop.h"
#include "ledger/bill_state_text.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "rules/rule_table.h"
#include "scripted_dialogs.h"
#include "test_support.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

using testing::Control;
using testing::TempDir;

class MainWindowTest : public ::testing::Test {
 protected:
  // Nothing listens there: no outside traffic.
  static ShopOptions Offline() {
    ShopOptions o;
    o.records_base = "http://127.0.0.1:9";
    o.page_gap_ms = 0;
    return o;
  }
  TempDir dir;
  ScriptedDialogs dialogs;
  ActivityLog log;
  const AppServices services{.dialogs = dialogs, .log = log, .data_folder = DataFolder(dir.path())};
};

struct ControlCase {
  const char* name;
  const char* caption;
  QRect geometry;
};

TEST_F(MainWindowTest, EveryControlHasItsNameCaptionAndPlace) {
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 单选框_全部账单 = Control<QRadioButton>(w, "单选框_全部账单");
  auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
  auto* 编辑框_本地IP = Control<QPlainTextEdit>(w, "编辑框_本地IP");
  auto* 编辑框1 = Control<QPlainTextEdit>(w, "编辑框1");
  auto* 超级列表框1 = Control<QTableView>(w, "超级列表框1");
  auto* 超文本浏览框1 = Control<QWebEngineView>(w, "超文本浏览框1");
  auto* 时钟_刷新 = Control<QTimer>(w, "时钟_刷新");
  auto* 时钟_记时 = Control<QTimer>(w, "时钟_记时");
  auto* 时钟_防止掉线 = Control<QTimer>(w, "时钟_防止掉线");
  auto* 托盘菜单 = Control<QMenu>(w, "托盘菜单");
  EXPECT_EQ(w.geometry(), QRect(50, 50, 1024, 650));
  const ControlCase cases[] = {
      {"超文本浏览框1", nullptr, {8, 8, 770, 584}},
      {"超级列表框1", nullptr, {8, 8, 750, 584}},
      {"分组框1", "", {788, 4, 220, 588}},
      {"单选框_全部账单", "全部账单", {10, 15, 72, 20}},
      {"单选框_新增账单", "新增账单", {90, 15, 72, 20}},
      {"标签1", "刷新间隔", {10, 50, 56, 16}},
      {"编辑框_间隔时间", "6000", {65, 50, 80, 20}},
      {"按钮1", "开始", {150, 50, 56, 20}},
      {"标签2", "发信服务器", {10, 81, 60, 20}},
      {"编辑框_邮箱服务器地址", "smtp.qq.com", {80, 80, 130, 20}},
      {"标签3", "发信邮箱", {10, 108, 60, 20}},
      {"编辑框_邮箱用户名", "", {80, 108, 130, 20}},
      {"标签4", "邮箱密码", {10, 136, 60, 20}},
      {"编辑框_邮箱密码", "", {80, 136, 130, 20}},
      {"按钮_连接", "邮件连接测试", {12, 165, 96, 30}},
      {"按钮_发送", "邮件发送测试", {115, 165, 96, 30}},
      {"按钮_设置", "发货内容设置", {12, 205, 96, 30}},
      {"按钮2", "发信设置技巧", {115, 205, 96, 30}},
      {"分组框3", "友情提示", {10, 243, 200, 170}},
      {"编辑框1", nullptr, {14, 261, 192, 150}},
      {"分组框2", "发货提示", {10, 420, 200, 140}},
      {"编辑框_本地IP", "", {15, 437, 190, 115}},
      {"标签_本地数据库", "数据库:未连接", {10, 564, 80, 20}},
      {"标签_时间", "已经运行:00:00:00", {97, 564, 120, 20}},
      {"标签_进度", "", {8, 596, 546, 20}},
      {"按钮_统计", "统计", {558, 596, 96, 30}},
      {"按钮_库存管理", "库存管理", {662, 596, 96, 30}},
      {"按钮_发货记录", "发货记录", {800, 598, 96, 30}},
      {"按钮_提醒设置", "提醒设置", {904, 598, 96, 30}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* widget = w.findChild<QWidget*>(QString::fromUtf8(c.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.geometry);
    if (!c.caption) continue;
    QString caption;
    if (auto* b = qobject_cast<QAbstractButton*>(widget))
      caption = b->text();
    else if (auto* l = qobject_cast<QLabel*>(widget))
      caption = l->text();
    else if (auto* e = qobject_cast<QLineEdit*>(widget))
      caption = e->text();
    else if (auto* g = qobject_cast<QGroupBox*>(widget))
      caption = g->title();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(widget))
      caption = p->toPlainText();
    EXPECT_EQ(caption, QString::fromUtf8(c.caption));
  }
  EXPECT_TRUE(单选框_全部账单->isChecked());
  EXPECT_EQ(编辑框_邮箱密码->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(编辑框_本地IP->isReadOnly());
  EXPECT_TRUE(编辑框1->isReadOnly());
  EXPECT_FALSE(超级列表框1->isVisibleTo(&w));
  EXPECT_TRUE(超文本浏览框1->isVisibleTo(&w));
  for (QTimer* t : {时钟_刷新, 时钟_记时, 时钟_防止掉线}) EXPECT_FALSE(t->isActive());
  ASSERT_EQ(托盘菜单->actions().size(), 2);
  EXPECT_EQ(托盘菜单->actions()[0]->text(), QStringLiteral("打开"));
  EXPECT_EQ(托盘菜单->actions()[1]->text(), QStringLiteral("关闭"));
  EXPECT_EQ(超级列表框1->model()->headerData(4, Qt::Horizontal).toString(),
            QStringLiteral("流水号"));
  // The icon comes from the resources linked in as the program links them, at every size.
  EXPECT_FALSE(w.windowIcon().pixmap(16).isNull());
  EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(256, 256)));
}

TEST_F(MainWindowTest, StartUpWithTheTableOpensItAndLoadsSettings) {
  ASSERT_TRUE(RecordTable::CreateEmpty(dir.File("zhifubaoZD.edb"), BillTableFields()));
  RuleBook saved;
  ASSERT_TRUE(
      SaveRuleTable(RuleTablePath(services.data_folder), saved, {{1, 2, "s", "b"}}, nullptr));
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 标签_本地数据库 = Control<QLabel>(w, "标签_本地数据库");
  auto* 超文本浏览框1 = Control<QWebEngineView>(w, "超文本浏览框1");
  int loaded = 0;
  w.load_settings = [&] { ++loaded; };
  EXPECT_TRUE(w.StartUp());
  EXPECT_EQ(标签_本地数据库->text(), QStringLiteral("数据库:已连接"));
  EXPECT_EQ(loaded, 1);
  EXPECT_TRUE(dialogs.Seen().empty());
  EXPECT_FALSE(w.tray()->icon()->icon().pixmap(22).isNull());
  EXPECT_EQ(超文本浏览框1->url().toString(),
            QStringLiteral("http://127.0.0.1:9/record/standard.htm"));
  // Before 开始: a resend while monitoring is off finds its rule.
  EXPECT_EQ(shop.rules().Current()->size(), 1u);
}

TEST_F(MainWindowTest, MissingOrDamagedTableIsRewrittenOnYes) {
  for (bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "missing");
    if (damaged)
      ASSERT_TRUE(testing::WriteFileBytes(dir.File("zhifubaoZD.edb"), "garbage"));
    else
      std::filesystem::remove(dir.File("zhifubaoZD.edb"));
    dialogs.ClearSeen();
    dialogs.QueueAnswer(Dialogs::Answer::kYes);
    Shop shop(nullptr, Offline());
    MainWindow w(shop, services);
    auto* 标签_本地数据库 = Control<QLabel>(w, "标签_本地数据库");
    int loaded = 0;
    w.load_settings = [&] { ++loaded; };
    EXPECT_TRUE(w.StartUp());
    auto seen = dialogs.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, QStringLiteral("打开本地数据库失败，是否重新写出数据库"));
    EXPECT_EQ(seen[0].caption, QStringLiteral("写出新的数据库"));
    EXPECT_EQ(seen[0].buttons, Dialogs::Buttons::kYesNo);
    EXPECT_EQ(标签_本地数据库->text(), QStringLiteral("数据库:已连接"));
    EXPECT_EQ(loaded, 1);
    RecordTable t;
    EXPECT_TRUE(t.Open(dir.File("zhifubaoZD.edb"), &BillTableFields()));
  }
}

TEST_F(MainWindowTest, AnswerNoEndsStartUpAndSkipsTheSettings) {
  dialogs.QueueAnswer(Dialogs::Answer::kNo);
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 标签_本地数据库 = Control<QLabel>(w, "标签_本地数据库");
  auto* 编辑框_间隔时间 = Control<QLineEdit>(w, "编辑框_间隔时间");
  int loaded = 0;
  w.load_settings = [&] { ++loaded; };
  EXPECT_FALSE(w.StartUp());
  EXPECT_EQ(标签_本地数据库->text(), QStringLiteral("数据库:未连接"));
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(编辑框_间隔时间->text(), QStringLiteral("6000"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("zhifubaoZD.edb")));
}

TEST_F(MainWindowTest, UnwritableFolderShowsTheWriteError) {
  // A data folder below a plain file can be neither read nor written, even by root.
  ASSERT_TRUE(testing::WriteFileBytes(dir.File("file"), "x"));
  dialogs.QueueAnswer(Dialogs::Answer::kYes);
  Shop shop(nullptr, Offline());
  MainWindow w(shop, {.dialogs = dialogs, .log = log, .data_folder = DataFolder(dir.File("file"))});
  int loaded = 0;
  w.load_settings = [&] { ++loaded; };
  EXPECT_FALSE(w.StartUp());
  auto seen = dialogs.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, QStringLiteral("写出初始化数据库失败"));
  EXPECT_EQ(seen[1].caption, QStringLiteral("错误"));
  EXPECT_EQ(seen[1].icon, Dialogs::Icon::kWarning);
  EXPECT_EQ(loaded, 0);
}

TEST_F(MainWindowTest, TypedSettingsSurviveARestartAndAFailedWriteIsToldOnce) {
  const std::string data = dir.File("data");
  ASSERT_TRUE(std::filesystem::create_directory(data));
  const AppServices in_data{.dialogs = dialogs, .log = log, .data_folder = DataFolder(data)};
  ASSERT_TRUE(
      RecordTable::CreateEmpty(in_data.data_folder.File("zhifubaoZD.edb"), BillTableFields()));
  {
    Shop shop(nullptr, Offline());
    MainWindow w(shop, in_data);
    auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
    auto* 编辑框_邮箱服务器地址 = Control<QLineEdit>(w, "编辑框_邮箱服务器地址");
    ASSERT_TRUE(w.StartUp());
    编辑框_邮箱密码->setText(QStringLiteral("\"abc\""));
    编辑框_邮箱服务器地址->setText(QStringLiteral(" smtp.example.com "));
  }
  Shop shop(nullptr, Offline());
  MainWindow w(shop, in_data);
  auto* 编辑框_邮箱密码 = Control<QLineEdit>(w, "编辑框_邮箱密码");
  auto* 编辑框_邮箱服务器地址 = Control<QLineEdit>(w, "编辑框_邮箱服务器地址");
  auto* 标签_进度 = Control<QLabel>(w, "标签_进度");
  ASSERT_TRUE(w.StartUp());
  EXPECT_EQ(编辑框_邮箱密码->text(), QStringLiteral("\"abc\""));
  EXPECT_EQ(编辑框_邮箱服务器地址->text(), QStringLiteral(" smtp.example.com "));

  // The folder moves away and a plain file takes its place: nothing can be written below
  // it, even by root.
  std::filesystem::rename(data, dir.File("moved"));
  ASSERT_TRUE(testing::WriteFileBytes(data, "x"));
  for (const char* typed : {"p", "pw", "pw1"}) {
    编辑框_邮箱密码->setText(QString::fromUtf8(typed));
    emit 编辑框_邮箱密码->editingFinished();
  }
  const QString text = FromGbk(log.Text());
  EXPECT_EQ(text.count(QStringLiteral("设置无法保存")), 1) << text.toStdString();
  EXPECT_TRUE(标签_进度->text().contains(QStringLiteral("设置无法保存")))
      << 标签_进度->text().toStdString();
  std::filesystem::remove(data);
  std::filesystem::rename(dir.File("moved"), data);
  编辑框_邮箱密码->setText(QStringLiteral("pw12"));
  emit 编辑框_邮箱密码->editingFinished();
  EXPECT_TRUE(标签_进度->text().contains(QStringLiteral("设置已重新保存")));
}

TEST_F(MainWindowTest, CloseHidesAndOpenOrTrayCodeTwoBringsTheSameWindowBack) {
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 编辑框_邮箱用户名 = Control<QLineEdit>(w, "编辑框_邮箱用户名");
  auto* 托盘菜单 = Control<QMenu>(w, "托盘菜单");
  w.show();
  编辑框_邮箱用户名->setText(QStringLiteral("seller@example.com"));
  w.close();
  if (w.tray()->CanHideToTray()) {
    EXPECT_FALSE(w.isVisible());
    托盘菜单->actions()[0]->trigger();  // 打开
    EXPECT_TRUE(w.isVisible());
    w.hide();
    w.tray()->OnTrayEvent(2);
    EXPECT_TRUE(w.isVisible());
  } else {
    // No tray: closing asks to quit instead of leaving an unreachable program.
    auto seen = dialogs.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, QStringLiteral("您确定要退出嘛？"));
  }
  EXPECT_EQ(编辑框_邮箱用户名->text(), QStringLiteral("seller@example.com"));
  w.tray()->OnTrayEvent(7);  // unknown codes do nothing
  w.tray()->OnTrayEvent(2);  // showing a visible window changes nothing
  EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, QuitAsksAndEndsOnlyOnOk) {
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 托盘菜单 = Control<QMenu>(w, "托盘菜单");
  int exits = 0;
  w.tray()->exit_program = [&] { ++exits; };
  dialogs.QueueAnswer(Dialogs::Answer::kCancel);
  托盘菜单->actions()[1]->trigger();
  EXPECT_EQ(exits, 0);
  dialogs.QueueAnswer(Dialogs::Answer::kOk);
  托盘菜单->actions()[1]->trigger();
  EXPECT_EQ(exits, 1);
  auto seen = dialogs.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, QStringLiteral("您确定要退出嘛？"));
  EXPECT_EQ(seen[0].buttons, Dialogs::Buttons::kOkCancel);
}

QString Cell(const QTableView* view, int row, int column) {
  return view->model()->index(row, column).data().toString();
}

TEST_F(MainWindowTest, BillListFollowsTheListsAndTheLedgerRowByRow) {
  Shop shop(nullptr, Offline());
  ASSERT_TRUE(shop.Open(dir.File("fahuo.db")).ok);
  MainWindow w(shop, services);
  auto* 标签_进度 = Control<QLabel>(w, "标签_进度");
  auto* 单选框_新增账单 = Control<QRadioButton>(w, "单选框_新增账单");
  auto* 单选框_全部账单 = Control<QRadioButton>(w, "单选框_全部账单");
  w.show();
  auto bill = [](const char* serial, const char* name) {
    BillRecord b;
    b.流水号 = serial;
    b.名称 = Utf8ToGbk(name);
    b.日期 = "2026.12.0822:20";
    return b;
  };
  std::vector<LedgerEntry> entries(3);
  const char* serials[] = {"A", "B", "C"};
  const BillState states[] = {BillState::kSent, BillState::kSkipped, BillState::kPending};
  for (int i = 0; i < 3; ++i) {
    entries[i].bill = bill(serials[i], i == 2 ? "张三" : "x");
    entries[i].state = states[i];
  }
  entries[1].skip_reason = skip::kNotQq;
  ASSERT_TRUE(shop.ledger().Insert(entries));
  for (const LedgerEntry& e : entries) {
    shop.NewBills().Append(e.bill);
    shop.AllBills().PushFront(e.bill);
  }
  QTableView* list = Control<QTableView>(w, "超级列表框1");
  QAbstractItemModel* model = list->model();
  QSignalSpy reset(model, &QAbstractItemModel::modelReset);
  QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
  w.RedrawSelectedBills();  // three bills pushed: rows inserted, no rebuild
  EXPECT_EQ(reset.count(), 0);
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(Cell(list, 0, 4), QStringLiteral("C"));
  EXPECT_EQ(Cell(list, 2, 0), QStringLiteral("3"));
  EXPECT_EQ(Cell(list, 0, 1), QStringLiteral("2026.12.08 22:20"));
  EXPECT_EQ(model->headerData(8, Qt::Horizontal).toString(), QStringLiteral("发货状态"));
  EXPECT_EQ(Cell(list, 0, 8), QStringLiteral("等待发送"));
  EXPECT_EQ(Cell(list, 1, 8), QStringLiteral("已跳过：不是QQ号码"));
  EXPECT_EQ(Cell(list, 2, 8), QStringLiteral("已发送"));
  // A skipped bill needs the seller: its row stands out.
  EXPECT_TRUE(model->index(1, 3).data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(model->index(2, 3).data(Qt::BackgroundRole).isValid());
  // 发货状态 lies beyond the right edge at the default size: the first cell, in view, shows
  // the state's mark in its colour.
  auto marked = [&](int row, BillState state) {
    const QImage shot = list->viewport()->grab().toImage();
    const QRect cell = list->visualRect(model->index(row, 0)) & shot.rect();
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
      for (int x = cell.left(); x <= cell.right(); ++x) {
        if (shot.pixel(x, y) == (0xff000000 | StateColour(state))) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(marked(0, BillState::kPending));
  EXPECT_TRUE(marked(1, BillState::kSkipped));
  EXPECT_TRUE(marked(2, BillState::kSent));
  EXPECT_FALSE(marked(2, BillState::kFailed));

  // One state change repaints its row only.
  inserted.clear();
  changed.clear();
  LedgerEntry c = *shop.ledger().Find("C");
  c.state = BillState::kFailed;
  ASSERT_TRUE(shop.ledger().Update(c));
  w.RedrawSelectedBills();
  EXPECT_EQ(inserted.count(), 0);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 0);
  EXPECT_EQ(Cell(list, 0, 8), QStringLiteral("发送失败"));
  EXPECT_TRUE(marked(0, BillState::kFailed));
  EXPECT_EQ(标签_进度->text(), QString());  // no status line before the baseline

  // The radio buttons switch lists; the new bills run in the order found.
  QTest::mouseClick(单选框_新增账单, Qt::LeftButton);
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(Cell(list, 0, 4), QStringLiteral("A"));
  EXPECT_EQ(Cell(list, 2, 3), QStringLiteral("张三"));
  QTest::mouseClick(单选框_全部账单, Qt::LeftButton);
  EXPECT_EQ(Cell(list, 0, 4), QStringLiteral("C"));
  // Many bills at once: every state is read again and every row repaints, its mark too.
  std::vector<LedgerEntry> many(300);
  for (size_t i = 0; i < many.size(); ++i) {
    many[i].bill = bill(("M" + std::to_string(i)).c_str(), "x");
    many[i].state = BillState::kFailed;
    shop.AllBills().Append(many[i].bill);
  }
  ASSERT_TRUE(shop.ledger().Insert(many));
  changed.clear();
  w.RedrawSelectedBills();
  ASSERT_EQ(model->rowCount(), 303);
  ASSERT_FALSE(changed.isEmpty());
  const QModelIndex from = changed.last()[0].value<QModelIndex>();
  const QModelIndex to = changed.last()[1].value<QModelIndex>();
  EXPECT_EQ(from.row(), 0);
  EXPECT_EQ(from.column(), 0);
  EXPECT_EQ(to.row(), 302);
  EXPECT_EQ(to.column(), 8);
  EXPECT_TRUE(marked(3, BillState::kFailed));
  // At the default size the eight columns the seller reads are in view: a long serial and
  // name give way (the serial whole in its tip), the amount and the state do not.
  const std::string serial(32, '7');
  BillRecord wide = bill(serial.c_str(), "一个很长很长的商品名称，再长一点，还要更长一些");
  wide.金额 = "+12.00";
  wide.对方 = Utf8ToGbk("一位名字很长的买家（某某某某某某某某）");
  shop.AllBills().PushFront(wide);
  w.RedrawSelectedBills();
  list->show();
  FitBillListColumns(list);
  EXPECT_LE(list->columnViewportPosition(7) + list->columnWidth(7), list->viewport()->width());
  EXPECT_GE(list->columnWidth(6), static_cast<QAbstractItemView*>(list)->sizeHintForColumn(6));
  EXPECT_EQ(model->index(0, 4).data(Qt::ToolTipRole).toString(), QString::fromStdString(serial));
  // A bigger order found later is not cut either.
  BillRecord big = bill("big", "x");
  big.金额 = "+99999.99";
  shop.AllBills().PushFront(big);
  w.RedrawSelectedBills();
  EXPECT_GE(list->columnWidth(6), static_cast<QAbstractItemView*>(list)->sizeHintForColumn(6));

  // At quit the ledger closes and takes its -wal and -shm files with it; a change reported
  // before and drawn after leaves the window as it was.
  c.state = BillState::kSent;
  ASSERT_TRUE(shop.ledger().Update(c));
  w.Shutdown();
  EXPECT_FALSE(std::filesystem::exists(dir.File("fahuo.db-wal")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("fahuo.db-shm")));
  w.RedrawSelectedBills();
  EXPECT_EQ(Cell(list, 2, 8), QStringLiteral("发送失败"));
  Shop empty(nullptr, Offline());
  MainWindow other(empty, services);
  auto* other_单选框_新增账单 = Control<QRadioButton>(other, "单选框_新增账单");
  auto* other_超级列表框1 = Control<QTableView>(other, "超级列表框1");
  QTest::mouseClick(other_单选框_新增账单, Qt::LeftButton);
  EXPECT_EQ(other_超级列表框1->model()->rowCount(), 0);
}

TEST_F(MainWindowTest, EnlargedTheListGrowsAndThePanelKeepsRight) {
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 超级列表框1 = Control<QTableView>(w, "超级列表框1");
  auto* 超文本浏览框1 = Control<QWebEngineView>(w, "超文本浏览框1");
  auto* 分组框1 = Control<QGroupBox>(w, "分组框1");
  auto* 标签_进度 = Control<QLabel>(w, "标签_进度");
  auto* 按钮_发货记录 = Control<QPushButton>(w, "按钮_发货记录");
  w.show();
  // Never smaller than the layout; a screen smaller than that gets scroll bars instead.
  const QSize smallest =
      QSize(1024, 650).boundedTo(QGuiApplication::primaryScreen()->availableGeometry().size());
  EXPECT_EQ(w.minimumSize(), smallest);
  w.resize(1300, 800);
  QApplication::processEvents();
  EXPECT_EQ(超级列表框1->geometry(), QRect(8, 8, 1026, 734));
  EXPECT_EQ(超文本浏览框1->geometry(), QRect(8, 8, 1046, 734));
  EXPECT_EQ(分组框1->geometry(), QRect(1064, 4, 220, 738));
  EXPECT_EQ(Control<QWidget>(w, "编辑框_本地IP")->geometry(), QRect(15, 437, 190, 265));
  EXPECT_EQ(Control<QWidget>(w, "标签_时间")->geometry(), QRect(97, 714, 120, 20));
  EXPECT_EQ(标签_进度->geometry(), QRect(8, 746, 822, 20));
  EXPECT_EQ(按钮_发货记录->geometry(), QRect(1076, 748, 96, 30));
  w.resize(500, 400);
  QApplication::processEvents();
  EXPECT_EQ(w.size(), smallest);
  EXPECT_EQ(分组框1->geometry(), QRect(788, 4, 220, 588));
  auto* scroll = w.findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 1024 - scroll->viewport()->width());
}

TEST_F(MainWindowTest, LogEntriesFromWorkerThreadsAllReachTheBoxInOrder) {
  Shop shop(nullptr, Offline());
  MainWindow w(shop, services);
  auto* 编辑框_本地IP = Control<QPlainTextEdit>(w, "编辑框_本地IP");
  QSignalSpy shown(&w, &MainWindow::logShown);
  std::thread worker([&w] {
    for (int i = 0; i < 200; ++i) w.AppendLog(Utf8ToGbk("第" + std::to_string(i) + "行\r\n"));
  });
  worker.join();
  for (int i = 0; i < 500 && shown.count() < 200; ++i) QTest::qWait(10);
  ASSERT_EQ(shown.count(), 200);
  QStringList lines = 编辑框_本地IP->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 200);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(lines[i], QStringLiteral("第%1行").arg(i));
  w.hide();
  w.AppendLog(Utf8ToGbk("隐藏时\r\n"));
  for (int i = 0; i < 500 && shown.count() < 201; ++i) QTest::qWait(10);
  EXPECT_TRUE(编辑框_本地IP->toPlainText().endsWith(QStringLiteral("隐藏时\n")));

  // Weeks of entries: the box keeps the last 5,000 lines.
  for (int i = 0; i < 5000; ++i) w.AppendLog(Utf8ToGbk("新" + std::to_string(i) + "\r\n"));
  for (int i = 0; i < 1000 && shown.count() < 5201; ++i) QTest::qWait(10);
  lines = 编辑框_本地IP->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5000);
  EXPECT_EQ(lines.front(), QStringLiteral("新0"));
  EXPECT_EQ(lines.back(), QStringLiteral("新4999"));
}

// The provider's pause stands on the status line with 恢复发送, which ends it and logs so.
TEST_F(MainWindowTest, ThePauseShowsUnderTheListAndTheSellersClickEndsIt) {
  Shop shop(nullptr, Offline());
  ASSERT_TRUE(shop.Open(dir.File("fahuo.db")).ok);
  MainWindow w(shop, services);
  auto* 标签_进度 = Control<QLabel>(w, "标签_进度");
  struct : RecordPagesSink {
    void Progress(int, size_t) override {}
    void Finished() override {}
  } sink;
  shop.baseline().Begin();
  shop.LoadBaseline(sink);  // nothing listens: the line says the records are not read yet
  shop.sender().pace().PauseUntil(shop.clock().UnixSeconds() + 600, "x");
  w.RedrawSelectedBills();
  ASSERT_TRUE(标签_进度->text().contains(QStringLiteral(">恢复发送</a>")))
      << 标签_进度->text().toStdString();
  emit 标签_进度->linkActivated(QStringLiteral("resume"));
  QTRY_VERIFY(GbkToUtf8(log.Text()).find("已恢复发送") != std::string::npos);
  EXPECT_FALSE(shop.sender().PauseEnd());
  QTRY_VERIFY(!标签_进度->text().contains(QStringLiteral("恢复发送")));
  w.Shutdown();
}

}  // namespace
}  // namespace fahuo
