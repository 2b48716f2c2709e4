// The delivery record: its model over a real ledger, the window's filters and actions, and
// the CSV it exports, read back as a spreadsheet program would.
#include "app/record_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStringDecoder>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <mutex>

#include "app/order_actions.h"
#include "app/record_model.h"
#include "delivery/shop.h"
#include "platform/gbk.h"
#include "scripted_dialogs.h"
#include "test_support.h"
#include "ui/dialogs.h"

namespace fahuo {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

class LogWindow : public SellerView, public DeliveryEvents {
 public:
  void AppendLog(const std::string& gbk_line) override { logs.push_back(GbkToUtf8(gbk_line)); }
  void ShowMessage(const std::string&) override {}
  void BillsChanged() override { ++changed; }
  void SignInLapsed() override {}
  void SignInRestored() override {}
  void HeldPaymentsFound(size_t) override {}
  std::vector<std::string> logs;
  int changed = 0;
};

LedgerEntry Entry(const std::string& serial, const std::string& utf8_name, BillState state,
                  int64_t first_seen = 1700000000) {
  LedgerEntry e;
  e.bill.流水号 = serial;
  e.bill.名称 = Utf8ToGbk(utf8_name);
  e.bill.金额 = "98.00";
  e.state = state;
  e.first_seen = first_seen;
  return e;
}

class RecordWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(shop_.Open(dir_.File("fahuo.db")).ok); }
  // `entries` oldest first, as passes found them one after another (one Insert takes a
  // page's batch, newest first).
  void Add(std::vector<LedgerEntry> entries) {
    std::reverse(entries.begin(), entries.end());
    ASSERT_TRUE(shop_.ledger().Insert(entries));
  }
  template <typename T>
  T* Find(QWidget& w, const char* name) {
    T* found = w.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static QString Cell(QAbstractItemModel& m, int row, int column) {
    return m.data(m.index(row, column)).toString();
  }

  TempDir dir_;
  Shop shop_;
  std::shared_ptr<LogWindow> log_ = std::make_shared<LogWindow>();
  ScriptedDialogs dialogs_;
};

TEST_F(RecordWindowTest, ModelFollowsTheLedgerAPageAtATime) {
  std::vector<LedgerEntry> many;
  for (int i = 0; i < 1200; ++i)
    many.push_back(Entry("B" + std::to_string(i), "x", BillState::kBaseline));
  LedgerEntry skipped = Entry("S1", "张三", BillState::kSkipped);
  skipped.skip_reason = skip::kNoNote;
  many.push_back(skipped);
  Add(many);

  RecordModel model(shop_.ledger());
  EXPECT_EQ(model.MatchingCount(), 1201u);
  ASSERT_EQ(model.rowCount(), RecordModel::kPageRows);
  EXPECT_EQ(Cell(model, 0, 1), "S1");  // newest first
  EXPECT_EQ(Cell(model, 0, 3), QStringLiteral("张三"));
  EXPECT_EQ(Cell(model, 0, 6), QStringLiteral("已跳过：没有留言"));
  while (model.canFetchMore()) model.fetchMore();
  EXPECT_EQ(model.rowCount(), 1201);
  EXPECT_EQ(Cell(model, 1200, 1), "B0");

  // A bill that comes in and a bill that changes show after a reload, none lost or doubled.
  Add({Entry("N1", "new", BillState::kPending)});
  LedgerEntry failed = *shop_.ledger().Find("B5");
  failed.state = BillState::kFailed;
  ASSERT_TRUE(shop_.ledger().Update(failed));
  model.Reload();
  EXPECT_EQ(model.MatchingCount(), 1202u);
  EXPECT_EQ(Cell(model, 0, 1), "N1");
  while (model.canFetchMore()) model.fetchMore();
  EXPECT_EQ(model.rowCount(), 1202);
  EXPECT_EQ(Cell(model, model.RowOfSerial("B5"), 6), QStringLiteral("发送失败"));

  LedgerFilter only_failed;
  only_failed.states = {BillState::kFailed};
  model.SetFilter(only_failed);
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(Cell(model, 0, 1), "B5");
}

TEST_F(RecordWindowTest, FiltersByStateAndSearchAndResendsToATypedAddress) {
  Add({Entry("F1", "李四 QQ 1234567", BillState::kFailed), Entry("F2", "王五", BillState::kFailed),
       Entry("K1", "李四", BillState::kSent), Entry("H1", "赵六", BillState::kHeld)});
  int jobs = 0;
  // The sender's worker, run in line; the answer comes back through the event loop.
  OrderActions actions(
      shop_, {log_, log_},
      [&](std::function<void()> job) {
        job();
        ++jobs;
      },
      dialogs_, nullptr);
  auto answered = [] { QCoreApplication::processEvents(); };
  RecordWindow window(shop_, &actions, dialogs_);
  window.show();
  QTableView* table = window.table();
  ASSERT_EQ(table->model()->rowCount(), 4);

  auto* states = Find<QComboBox>(window, "组合框_状态");
  states->setCurrentIndex(states->findText(QStringLiteral("发送失败")));
  EXPECT_EQ(table->model()->rowCount(), 2);
  auto* search = Find<QLineEdit>(window, "编辑框_搜索");
  search->setText(QStringLiteral("李四"));
  QTest::keyClick(search, Qt::Key_Return);
  ASSERT_EQ(table->model()->rowCount(), 1);
  EXPECT_EQ(Cell(*table->model(), 0, 1), "F1");
  states->setCurrentIndex(states->findText(QStringLiteral("需要处理")));
  EXPECT_EQ(table->model()->rowCount(), 1);  // the sent 李四 is not the seller's business

  auto* resend_to = Find<QPushButton>(window, "按钮_发送到其他邮箱");
  EXPECT_FALSE(resend_to->isEnabled());
  table->selectRow(0);
  ASSERT_TRUE(resend_to->isEnabled());
  dialogs_.QueueInput(QStringLiteral("not an address"));
  resend_to->click();
  answered();
  ASSERT_EQ(dialogs_.Texts().size(), 2u);
  EXPECT_TRUE(dialogs_.Texts()[1].contains(QStringLiteral("邮箱地址无效")));
  EXPECT_EQ(jobs, 1);

  dialogs_.QueueInput(QStringLiteral("buyer@example.com"));
  resend_to->click();
  answered();
  EXPECT_EQ(jobs, 2);
  std::optional<LedgerEntry> e = shop_.ledger().Find("F1");
  EXPECT_EQ(e->state, BillState::kPending);
  EXPECT_EQ(e->recipient, "buyer@example.com");
  EXPECT_EQ(log_->logs.back(), "重新发送到 buyer@example.com：F1\r\n");
  EXPECT_EQ(table->model()->rowCount(), 0);  // pending: no longer the seller's business

  // The right-click menu over another bill.
  std::unique_ptr<QMenu> menu = actions.MakeMenu("F2");
  auto trigger = [&](const QString& text) {
    for (QAction* a : menu->actions()) {
      if (a->text() == text) return a->trigger(), true;
    }
    return false;
  };
  ASSERT_TRUE(trigger(QStringLiteral("复制流水号")));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "F2");
  ASSERT_TRUE(trigger(QStringLiteral("标记为已处理")));
  answered();
  EXPECT_EQ(shop_.ledger().Find("F2")->state, BillState::kHandled);
  EXPECT_EQ(log_->logs.back(), "已标记为已处理：F2\r\n");
  EXPECT_EQ(jobs, 3);
}

TEST_F(RecordWindowTest, ChangeAddressOffersTheSuggestionAndTheRecordShowsBothAddresses) {
  LedgerEntry held = Entry("A1", "buyer@sina.co", BillState::kSkipped);
  held.skip_reason = skip::kSuspectAddress;
  held.last_error = "buyer@sina.com";
  held.typed_recipient = "buyer@sina.co";
  Add({held});
  OrderActions actions(
      shop_, {log_, log_}, [](std::function<void()> job) { job(); }, dialogs_, nullptr);
  RecordModel model(shop_.ledger());
  EXPECT_EQ(Cell(model, 0, 6), QStringLiteral("已跳过：收件地址可能有误，建议：buyer@sina.com"));

  std::unique_ptr<QMenu> menu = actions.MakeMenu("A1");
  auto change = [&] {
    for (QAction* a : menu->actions()) {
      if (a->text() == QStringLiteral("改地址重发")) a->trigger();
    }
    QCoreApplication::processEvents();
  };
  dialogs_.QueueInput(QStringLiteral("buyer@"));
  change();
  ASSERT_EQ(dialogs_.Texts().size(), 2u);
  EXPECT_TRUE(dialogs_.Texts()[1].contains(QStringLiteral("收件地址无效")));
  change();  // the box offers the suggestion; the seller takes it
  std::optional<LedgerEntry> e = shop_.ledger().Find("A1");
  EXPECT_EQ(e->state, BillState::kPending);
  EXPECT_EQ(e->recipient, "buyer@sina.com");
  EXPECT_EQ(e->typed_recipient, "buyer@sina.co");
  EXPECT_EQ(e->resends, 1);
  model.Reload();
  EXPECT_EQ(Cell(model, 0, 4), QStringLiteral("buyer@sina.com（买家填写：buyer@sina.co）"));
}

TEST_F(RecordWindowTest, ExportsEveryMatchingRowAsUtf8CsvThatASpreadsheetReads) {
  std::vector<LedgerEntry> many;
  for (int i = 0; i < 700; ++i)
    many.push_back(Entry("B" + std::to_string(i), "x", BillState::kBaseline));
  LedgerEntry comma = Entry("C1", "张三,李四", BillState::kFailed);
  comma.last_error = Utf8ToGbk("550 \"no\" such user");
  LedgerEntry formula = Entry("C2", "=HYPERLINK(\"http://x\")", BillState::kFailed);
  formula.bill.金额 = "-98.00";
  many.push_back(comma);
  many.push_back(formula);
  many.push_back(Entry("2026120921001000004001000017", "y", BillState::kSent));
  Add(many);
  OrderActions actions(shop_, {log_, log_}, {}, dialogs_, nullptr);
  RecordWindow window(shop_, &actions, dialogs_);
  // At the window's default size the serial reads whole, the seller compares it with the
  // payment app.
  window.show();
  QTableView* table = window.table();
  ASSERT_EQ(Cell(*table->model(), 0, 1), "2026120921001000004001000017");
  QAbstractItemView* view = table;  // the measure is public there
  EXPECT_GE(table->columnWidth(1), view->sizeHintForColumn(1));
  EXPECT_LE(table->columnViewportPosition(1) + table->columnWidth(1), table->viewport()->width());

  const QString path = QString::fromStdString(dir_.File("记录.csv"));
  dialogs_.QueueSaveFile(path);
  Find<QPushButton>(window, "按钮_导出")->click();

  struct stat info {};
  ASSERT_EQ(stat(path.toStdString().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the codes readable by others";
  const std::string bytes = ReadFileBytes(path.toStdString());
  ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF")) << "no byte-order mark";
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8.decode(QByteArray::fromStdString(bytes.substr(3)));
  ASSERT_FALSE(utf8.hasError());
  const QStringList lines = text.split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 1 + 703 + 1);  // header, every row (not only those fetched), ""
  EXPECT_TRUE(lines.back().isEmpty());
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("时间,流水号,金额,名称,收件人")));
  // A serial stays whole in a spreadsheet.
  EXPECT_TRUE(lines[1].contains(QStringLiteral(",\"=\"\"2026120921001000004001000017\"\"\",")))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains(QStringLiteral(",C2,-98.00,\"'=HYPERLINK(\"\"http://x\"\")\",")))
      << lines[2].toStdString();
  EXPECT_TRUE(lines[3].contains(QStringLiteral(",C1,98.00,\"张三,李四\",")))
      << lines[3].toStdString();
  EXPECT_TRUE(lines[3].endsWith(QStringLiteral(",0,\"550 \"\"no\"\" such user\",,")))
      << lines[3].toStdString();

  // Filtered: only the shown rows.
  auto* states = Find<QComboBox>(window, "组合框_状态");
  states->setCurrentIndex(states->findText(QStringLiteral("发送失败")));
  dialogs_.QueueSaveFile(path);
  Find<QPushButton>(window, "按钮_导出")->click();
  EXPECT_EQ(QString::fromUtf8(ReadFileBytes(path.toStdString())).count(QStringLiteral("\r\n")), 3);
}

}  // namespace
}  // namespace fahuo
