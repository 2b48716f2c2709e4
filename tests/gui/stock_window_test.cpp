// The stock window over a real ledger: pasted codes go in through the runner (a worker
// thread here, as the sender's in the program), the summary comes back in a box, and a
// given code is found with its bill.
#include "app/stock_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <fstream>
#include <thread>

#include "ledger/ledger.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "scripted_dialogs.h"
#include "test_support.h"

namespace fahuo {
namespace {

template <typename W>
W* Child(QWidget& parent, const char* name) {
  W* w = parent.findChild<W*>(QString::fromUtf8(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

TEST(StockWindowTest, PastedCodesAreAddedOffTheUiThreadAndAGivenCodeIsFound) {
  testing::TempDir dir;
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(dir.File("fahuo.db"), 0).ok);
  std::vector<LedgerEntry> bills(1);
  bills[0].bill.流水号 = "S1";
  bills[0].bill.名称 = Utf8ToGbk("张三 a@x.com");
  ASSERT_TRUE(ledger.Insert(bills));
  ASSERT_TRUE(ledger.AddCodes(Utf8ToGbk("会员"), {"OLD-1"}).ok);
  LedgerEntry sending = *ledger.Find("S1");
  sending.state = BillState::kSending;
  ASSERT_EQ(ledger.WriteSending(sending, nullptr, {Utf8ToGbk("会员")}, 1700000000).outcome,
            Ledger::Sending::Outcome::kWritten);

  std::vector<std::thread> workers;
  const std::thread::id ui = std::this_thread::get_id();
  bool off_ui = true;
  ScriptedDialogs dialogs;
  const SystemClock clock;
  StockWindow window(
      ledger, clock,
      [&](std::function<void()> job) {
        workers.emplace_back([&, job] {
          off_ui = off_ui && std::this_thread::get_id() != ui;
          job();
        });
      },
      dialogs);
  auto* stocks = Child<QTableWidget>(window, "表格_库存");
  ASSERT_EQ(stocks->rowCount(), 1);
  EXPECT_EQ(stocks->item(0, 1)->text(), QStringLiteral("0"));  // available
  EXPECT_EQ(stocks->item(0, 2)->text(), QStringLiteral("1"));  // given
  EXPECT_EQ(stocks->item(0, 5)->text(), QStringLiteral("—"));  // none given lately: no days

  Child<QLineEdit>(window, "编辑框_库存名称")->setText(QStringLiteral("会员"));
  Child<QPlainTextEdit>(window, "编辑框_卡密")
      ->setPlainText(QStringLiteral(" NEW-1 \n\nNEW-2\nOLD-1\nNEW-1\n"));
  QSignalSpy written(&window, &StockWindow::written);
  Child<QPushButton>(window, "按钮_添加")->click();
  ASSERT_TRUE(written.wait(5000));
  for (std::thread& t : workers) t.join();
  workers.clear();
  EXPECT_TRUE(off_ui);
  ASSERT_EQ(dialogs.Seen().size(), 1u);
  EXPECT_EQ(dialogs.Seen()[0].text, QStringLiteral("导入 2 个，重复 2 个已跳过"));
  EXPECT_TRUE(Child<QPlainTextEdit>(window, "编辑框_卡密")->toPlainText().isEmpty());
  EXPECT_EQ(stocks->item(0, 1)->text(), QStringLiteral("2"));

  // The buyer of OLD-1 is found by the code.
  auto* given = Child<QTableWidget>(window, "表格_已发卡密");
  Child<QLineEdit>(window, "编辑框_查找卡密")->setText(QStringLiteral("LD-1"));
  ASSERT_EQ(given->rowCount(), 1);
  EXPECT_EQ(given->item(0, 0)->text(), QStringLiteral("OLD-1"));
  EXPECT_EQ(given->item(0, 2)->text(), QStringLiteral("S1"));
  EXPECT_EQ(given->item(0, 3)->text(), QStringLiteral("张三 a@x.com"));
  Child<QLineEdit>(window, "编辑框_查找卡密")->setText(QStringLiteral("NEW"));
  EXPECT_EQ(given->rowCount(), 0);  // not given: not listed

  // Nothing to add: a box, and no write.
  Child<QPushButton>(window, "按钮_添加")->click();
  EXPECT_EQ(dialogs.Seen().size(), 2u);
  EXPECT_TRUE(workers.empty());

  // A GBK CSV file, second column; then the unused codes out to a file and deleted.
  auto run_and_wait = [&](const char* button) {
    dialogs.ClearSeen();
    Child<QPushButton>(window, button)->click();
    ASSERT_TRUE(written.wait(5000)) << button;
    for (std::thread& t : workers) t.join();
    workers.clear();
  };
  {
    std::ofstream(dir.File("codes.csv"), std::ios::binary)
        << Utf8ToGbk("序号,卡密\r\n1,甲-1\r\n2,\"甲,2\"\r\n3,NEW-2\r\n");
  }
  dialogs.QueueOpenFile(QString::fromStdString(dir.File("codes.csv")));
  Child<QSpinBox>(window, "数值框_列")->setValue(2);
  run_and_wait("按钮_导入");
  ASSERT_EQ(dialogs.Seen().size(), 2u);  // the file box, then the summary
  EXPECT_EQ(dialogs.Seen()[1].text, QStringLiteral("导入 3 个，重复 1 个已跳过"));

  dialogs.QueueSaveFile(QString::fromStdString(dir.File("unused.csv")));
  run_and_wait("按钮_导出未用");
  EXPECT_EQ(testing::ReadFileBytes(dir.File("unused.csv")),
            "\xEF\xBB\xBFNEW-1\r\nNEW-2\r\n卡密\r\n甲-1\r\n\"甲,2\"\r\n");
  struct stat info {};
  ASSERT_EQ(stat(dir.File("unused.csv").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u) << "unused codes readable by others";

  run_and_wait("按钮_删除未用");  // answered Yes
  EXPECT_EQ(dialogs.Seen().back().text, QStringLiteral("已删除 5 个未用卡密"));
  EXPECT_EQ(stocks->item(0, 1)->text(), QStringLiteral("0"));
  EXPECT_EQ(stocks->item(0, 2)->text(), QStringLiteral("1"));  // the given code stays
}

}  // namespace
}  // namespace fahuo
