#include "rules/qt/rules_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "rules/rule_table.h"
#include "scripted_dialogs.h"
#include "test_support.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

DeliveryRule Rule(float minimum, float maximum, const char* subject, const char* body) {
  return {minimum, maximum, Utf8ToGbk(subject), Utf8ToGbk(body)};
}

struct Entry {
  const char* minimum;
  const char* maximum;
  const char* subject;
  const char* body;
};

class RulesWindowTest : public ::testing::Test {
 protected:
  template <typename W>
  static W* Child(const RulesWindow& w, const char* name) {
    W* child = w.findChild<W*>(QString::fromUtf8(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static QTreeWidget* List(const RulesWindow& w) { return Child<QTreeWidget>(w, "超级列表框1"); }

  static void Type(const RulesWindow& w, const Entry& e) {
    Child<QLineEdit>(w, "编辑框_最小金额")->setText(QString::fromUtf8(e.minimum));
    Child<QLineEdit>(w, "编辑框_最大金额")->setText(QString::fromUtf8(e.maximum));
    Child<QLineEdit>(w, "编辑框_标题")->setText(QString::fromUtf8(e.subject));
    Child<QPlainTextEdit>(w, "编辑框_内容")->setPlainText(QString::fromUtf8(e.body));
  }
  static void Click(const RulesWindow& w, const char* button) {
    Child<QPushButton>(w, button)->click();
  }
  static void Select(const RulesWindow& w, int row) {
    QTreeWidget* list = List(w);
    list->clearSelection();
    if (row >= 0) list->topLevelItem(row)->setSelected(true);
  }
  // What the mouse sends for a click and a double-click (Qt Test is not linked here).
  static void Mouse(QWidget* target, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  }
  static QStringList Row(const RulesWindow& w, int row) {
    QStringList texts;
    for (int c = 0; c < 4; ++c) texts << List(w)->topLevelItem(row)->text(c);
    return texts;
  }
  QStringList Messages() {
    QStringList texts;
    for (const QString& t : dialogs_.Texts()) texts << t;
    dialogs_.ClearSeen();
    return texts;
  }

  testing::TempDir dir_;
  const std::string table_ = RuleTablePath(DataFolder(dir_.path()));
  ScriptedDialogs dialogs_;
  RuleBook book_;  // the run's rule list the window publishes to
};

TEST_F(RulesWindowTest, LayoutMatchesTheWindowDesign) {
  RulesWindow w(table_, book_, dialogs_);
  EXPECT_EQ(w.windowTitle(), QStringLiteral("自动发货邮件内容设置"));
  EXPECT_EQ(w.geometry(), QRect(50, 50, 640, 581));

  struct Control {
    const char* name;
    QRect geometry;
    const char* caption;  // nullptr: not checked
  };
  const Control controls[] = {
      {"超级列表框1", {7, 10, 409, 528}, nullptr},
      {"分组框1", {426, 16, 192, 520}, "添加规则"},
      {"标签1", {10, 18, 50, 20}, "最小金额"},
      {"编辑框_最小金额", {73, 18, 50, 20}, ""},
      {"标签2", {10, 52, 50, 20}, "最大金额"},
      {"编辑框_最大金额", {73, 52, 50, 20}, ""},
      {"标签4", {10, 81, 50, 20}, "邮件标题"},
      {"编辑框_标题", {10, 102, 170, 20}, ""},
      {"标签3", {10, 130, 50, 20}, "邮件内容"},
      {"编辑框_内容", {10, 151, 170, 219}, ""},
      {"按钮_添加", {10, 376, 80, 30}, "添加"},
      {"按钮_删除", {100, 376, 80, 30}, "删除"},
      {"按钮_保存", {10, 412, 80, 30}, "保存"},
      {"按钮_修改", {100, 412, 80, 30}, "双击列表修改"},
      {"按钮1", {10, 448, 170, 30}, "点击查看详细设置规则"},
      {"编辑框1", {10, 487, 170, 25}, nullptr},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* widget = Child<QWidget>(w, c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.geometry);
    if (!c.caption) continue;
    QString caption;
    if (auto* b = qobject_cast<QPushButton*>(widget)) caption = b->text();
    if (auto* l = qobject_cast<QLabel*>(widget)) caption = l->text();
    if (auto* e = qobject_cast<QLineEdit*>(widget)) caption = e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(widget)) caption = p->toPlainText();
    if (auto* g = qobject_cast<QGroupBox*>(widget)) caption = g->title();
    EXPECT_EQ(caption, QString::fromUtf8(c.caption));
  }

  QTreeWidget* list = List(w);
  const char* headers[] = {"最小金额", "最大金额", "邮件标题", "邮件内容"};
  const int widths[] = {60, 60, 80, 200};
  ASSERT_EQ(list->columnCount(), 4);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(list->headerItem()->text(c), QString::fromUtf8(headers[c]));
    EXPECT_EQ(list->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(Child<QLineEdit>(w, "编辑框_标题")->maxLength(), 100);
  EXPECT_TRUE(Child<QLineEdit>(w, "编辑框1")->isReadOnly());
  EXPECT_FALSE(Child<QLineEdit>(w, "编辑框1")->text().isEmpty());

  auto* body = Child<QPlainTextEdit>(w, "编辑框_内容");
  body->setPlainText(QString(600, QChar(u'字')));
  EXPECT_EQ(body->toPlainText(), QString(512, QChar(u'字')));
}

TEST_F(RulesWindowTest, AddShowsFirstProblemOrAppendsRow) {
  RulesWindow w(table_, book_, dialogs_);
  Type(w, {"100", "98", "", ""});
  Click(w, "按钮_添加");
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("金额设置错误")});
  EXPECT_EQ(List(w)->topLevelItemCount(), 0);

  Type(w, {" 98.0", "98", "泡妞教程", "内容"});
  Click(w, "按钮_添加");
  EXPECT_TRUE(Messages().isEmpty());
  ASSERT_EQ(List(w)->topLevelItemCount(), 1);
  EXPECT_EQ(Row(w, 0), (QStringList{"98", "98", QStringLiteral("泡妞教程"), "内容"}));
  // The boxes keep their texts for the next, similar rule.
  EXPECT_EQ(Child<QLineEdit>(w, "编辑框_标题")->text(), QStringLiteral("泡妞教程"));
}

TEST_F(RulesWindowTest, ModifyAndDeleteNeedASelection) {
  RulesWindow w(table_, book_, dialogs_);
  Type(w, {"1", "1", "一", "a"});
  Click(w, "按钮_添加");
  Type(w, {"2", "2", "二", "b"});
  Click(w, "按钮_添加");
  Messages();

  Select(w, -1);
  Click(w, "按钮_修改");
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("请选择要修改的选项")});
  Click(w, "按钮_删除");
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("请选择要删除的条件")});
  EXPECT_EQ(List(w)->topLevelItemCount(), 2);

  // A bad change shows the same message as Add and leaves the row alone.
  Select(w, 0);
  Type(w, {"5", "4", "x", "y"});
  Click(w, "按钮_修改");
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("金额设置错误")});
  EXPECT_EQ(Row(w, 0), (QStringList{"1", "1", QStringLiteral("一"), "a"}));

  Type(w, {"3", "4", "三", "c"});
  Click(w, "按钮_修改");
  EXPECT_TRUE(Messages().isEmpty());
  EXPECT_EQ(Row(w, 0), (QStringList{"3", "4", QStringLiteral("三"), "c"}));

  Click(w, "按钮_删除");
  EXPECT_TRUE(Messages().isEmpty());
  ASSERT_EQ(List(w)->topLevelItemCount(), 1);
  EXPECT_EQ(Row(w, 0), (QStringList{"2", "2", QStringLiteral("二"), "b"}));
}

TEST_F(RulesWindowTest, DoubleClickCopiesRowIntoBoxes) {
  ASSERT_TRUE(WriteRuleTable(table_, {Rule(98, 198, "标题", "第一行\n第二行")}, nullptr));
  RulesWindow w(table_, book_, dialogs_);
  w.show();
  QApplication::processEvents();
  QTreeWidget* list = List(w);
  ASSERT_EQ(list->topLevelItemCount(), 1);
  const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                            QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
    Mouse(list->viewport(), type, at);
  }
  EXPECT_EQ(Child<QLineEdit>(w, "编辑框_最小金额")->text(), "98");
  EXPECT_EQ(Child<QLineEdit>(w, "编辑框_最大金额")->text(), "198");
  EXPECT_EQ(Child<QLineEdit>(w, "编辑框_标题")->text(), QStringLiteral("标题"));
  EXPECT_EQ(Child<QPlainTextEdit>(w, "编辑框_内容")->toPlainText(),
            QStringLiteral("第一行\n第二行"));
  EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(RulesWindowTest, SaveStoresRowsInOrderAndClosesWindow) {
  const std::vector<DeliveryRule> expected = {Rule(98, 98, "甲", "一"), Rule(1, 50.5f, "乙", "二"),
                                              Rule(200, 300, "丙", "三")};
  {
    RulesWindow w(table_, book_, dialogs_);
    for (const DeliveryRule& r : expected) {
      Type(w, {AmountToText(r.minimum).c_str(), AmountToText(r.maximum).c_str(),
               GbkToUtf8(r.subject).c_str(), GbkToUtf8(r.body).c_str()});
      Click(w, "按钮_添加");
    }
    Click(w, "按钮_保存");
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("保存成功")});
    EXPECT_EQ(w.result(), QDialog::Accepted);
  }
  EXPECT_EQ(*book_.Current(), expected);

  RulesWindow reopened(table_, book_, dialogs_);
  EXPECT_EQ(reopened.ListedRules(), expected);
  EXPECT_EQ(Row(reopened, 1), (QStringList{"1", "50.5", QStringLiteral("乙"), "二"}));
  EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(RulesWindowTest, SaveOfEmptyListEmptiesTableAndRuleList) {
  ASSERT_TRUE(SaveRuleTable(table_, book_, {Rule(1, 2, "a", "b")}, nullptr));
  RulesWindow w(table_, book_, dialogs_);
  Select(w, 0);
  Click(w, "按钮_删除");
  Click(w, "按钮_保存");
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("保存成功")});
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_TRUE(book_.Current()->empty());
  EXPECT_EQ(ReadRuleTable(table_), std::vector<DeliveryRule>{});
}

TEST_F(RulesWindowTest, FailedSaveKeepsRulesAndWindow) {
  const std::vector<DeliveryRule> old = {Rule(1, 2, "旧", "旧内容")};
  ASSERT_TRUE(SaveRuleTable(table_, book_, old, nullptr));
  RulesWindow w(table_, book_, dialogs_);
  w.show();
  Type(w, {"5", "6", "新", "新内容"});
  Click(w, "按钮_添加");
  // Somewhere the new table cannot be built.
  std::filesystem::create_directories(RuleTableScratchPath(table_) + "/occupied");
  Click(w, "按钮_保存");
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("写出数据库失败")});
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(List(w)->topLevelItemCount(), 2);
  EXPECT_EQ(*book_.Current(), old);
  EXPECT_EQ(ReadRuleTable(table_), old);
}

// The seller's rules must not be lost to a table the window cannot show whole: the window
// says so, and the save keeps the old file under another name.
TEST_F(RulesWindowTest, TableNotShownWholeIsNamedAndKeptBySave) {
  std::vector<DeliveryRule> many(kMaxRules + 5, Rule(1, 2, "多", "b"));
  struct Case {
    const char* name;
    std::function<void()> make;
    QString box_start;
  } cases[] = {
      {"Damaged", [this] { testing::WriteFileBytes(table_, "not a table"); },
       QStringLiteral("规则表 Yjgz.edb 无法读取")},
      {"BeyondTheLimit", [&] { ASSERT_TRUE(WriteRuleTable(table_, many, nullptr)); },
       QStringLiteral("规则表有 10005 条规则，只使用前 10000 条")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    const std::string before = testing::ReadFileBytes(table_);
    RulesWindow w(table_, book_, dialogs_);
    QStringList opened = Messages();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(c.box_start)) << opened[0].toStdString();
    Type(w, {"5", "6", "新", "新内容"});
    Click(w, "按钮_添加");
    Click(w, "按钮_保存");
    QStringList saved = Messages();
    ASSERT_EQ(saved.size(), 1);
    const QString kept_prefix = QStringLiteral("保存成功\n原规则表已改名保留为：");
    ASSERT_TRUE(saved[0].startsWith(kept_prefix)) << saved[0].toStdString();
    const std::string kept = saved[0].mid(kept_prefix.size()).toStdString();
    EXPECT_EQ(testing::ReadFileBytes(kept), before);
    EXPECT_EQ(ReadRuleTable(table_)->size(), w.ListedRules().size());
    std::filesystem::remove(kept);
  }
}

// Work the seller typed is not lost by a slip: a word in an amount box, a rule typed but not
// added, a window closed before saving. Overlaps are allowed but named; order can change.
TEST_F(RulesWindowTest, KeepsTheSellersWork) {
  {
    RulesWindow w(table_, book_, dialogs_);
    Type(w, {"abc", "98", "甲", "a"});
    Click(w, "按钮_添加");
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("金额请填写数字")});
    EXPECT_EQ(List(w)->topLevelItemCount(), 0);

    Type(w, {"1", "100", "甲", "a"});
    Click(w, "按钮_添加");
    Type(w, {"50", "150", "乙", "b"});
    Click(w, "按钮_添加");
    EXPECT_EQ(Messages(),
              QStringList{QStringLiteral("金额范围与第 1 条规则“甲”重叠：两条都符合的金额"
                                         "按排在前面的第 1 条规则“甲”发送。")});
    Select(w, 1);
    Click(w, "按钮_上移");
    EXPECT_EQ(Row(w, 0)[2], QStringLiteral("乙"));

    auto* body = Child<QPlainTextEdit>(w, "编辑框_内容");
    for (Qt::KeyboardModifiers mods :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, mods);
      QApplication::sendEvent(body, &press);
    }
    EXPECT_EQ(body->toPlainText(), QStringLiteral("\tb")) << "Tab moves on, Ctrl+Tab types";

    Type(w, {"200", "300", "丙", "c"});  // typed, not added
    Click(w, "按钮_保存");
    EXPECT_EQ(Messages(),
              (QStringList{QStringLiteral("编辑框中的规则还没有添加到列表，是否先添加？"),
                           QStringLiteral("保存成功")}));
    EXPECT_EQ(w.result(), QDialog::Accepted);
  }
  const std::vector<DeliveryRule> saved = {Rule(50, 150, "乙", "b"), Rule(1, 100, "甲", "a"),
                                           Rule(200, 300, "丙", "c")};
  EXPECT_EQ(ReadRuleTable(table_), saved);

  RulesWindow w(table_, book_, dialogs_);
  w.show();
  Select(w, 0);
  Click(w, "按钮_删除");
  dialogs_.QueueAnswer(Dialogs::Answer::kNo);
  w.close();
  EXPECT_EQ(Messages(), QStringList{QStringLiteral("规则已修改，是否保存？")});
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(ReadRuleTable(table_), saved);
}

TEST_F(RulesWindowTest, HelpExplainsRanges) {
  RulesWindow w(table_, book_, dialogs_);
  Click(w, "按钮1");
  const auto seen = dialogs_.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, QStringLiteral("设置规则"));
  EXPECT_TRUE(seen[0].text.startsWith(QStringLiteral("根据不同的金额来识别来发送不同的邮件")));
  EXPECT_TRUE(seen[0].text.contains(QStringLiteral("与其它设置不干涉即可。")));
  EXPECT_TRUE(seen[0].text.contains(
      QStringLiteral("{流水号} {金额} {名称} {对方} {日期} {备注}，发送时按每笔订单替换")));
  EXPECT_TRUE(seen[0].text.contains(QStringLiteral("不认识的花括号按原样发送")));
  EXPECT_TRUE(seen[0].text.contains(QStringLiteral("{卡密} 取库存“默认”")));
  EXPECT_EQ(seen[0].buttons, Dialogs::Buttons::kOk);
  EXPECT_TRUE(Child<QLineEdit>(w, "编辑框_标题")->toolTip().contains(QStringLiteral("{备注}")));
}

TEST_F(RulesWindowTest, StockButtonShowsOnlyWithAStockWindowAndOpensItOverTheRules) {
  RulesWindow w(table_, book_, dialogs_);
  QPushButton* stocks = Child<QPushButton>(w, "按钮_库存管理");
  EXPECT_TRUE(stocks->isHidden());
  QWidget* opened_over = nullptr;
  w.SetStockHook([&](QWidget* over) { opened_over = over; });
  EXPECT_FALSE(stocks->isHidden());
  stocks->click();
  EXPECT_EQ(opened_over, &w);
}

TEST_F(RulesWindowTest, SendPreviewHandsOnTheChosenRuleOneAtATime) {
  RulesWindow w(table_, book_, dialogs_);
  QPushButton* preview = Child<QPushButton>(w, "按钮_发送预览");
  EXPECT_FALSE(preview->isEnabled()) << "no sending handed in yet";
  std::vector<DeliveryRule> sent;
  std::function<void()> finish;
  w.SetPreviewHook([&](const DeliveryRule& rule, std::function<void()> done) {
    sent.push_back(rule);
    finish = std::move(done);
  });
  ASSERT_TRUE(preview->isEnabled());

  // Without a selection: the edit boxes' rule, as typed (the owner fills it).
  Type(w, {"1", "1", "订单{流水号}", "{名称}您好"});
  Click(w, "按钮_发送预览");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(GbkToUtf8(sent[0].subject), "订单{流水号}");
  EXPECT_EQ(GbkToUtf8(sent[0].body), "{名称}您好");
  EXPECT_FALSE(preview->isEnabled()) << "one preview at a time";
  finish();
  EXPECT_TRUE(preview->isEnabled());

  // A selected row wins over the edit boxes.
  Click(w, "按钮_添加");
  Type(w, {"2", "2", "{金额}", "b"});
  Select(w, 0);
  Click(w, "按钮_发送预览");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(GbkToUtf8(sent[1].subject), "订单{流水号}");
  EXPECT_TRUE(Messages().isEmpty());
}

}  // namespace
}  // namespace fahuo
