// The real Qt boxes behind the Dialogs interface, answered by pressing their buttons, and
// the captions the desktop shows for the program's windows.
#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "platform/program_folder.h"
#include "rules/qt/rules_window.h"
#include "rules/rule_table.h"
#include "scripted_dialogs.h"
#include "test_support.h"

namespace fahuo {
namespace {

struct BoxCase {
  const char* name;
  Dialogs::Buttons buttons;
  const char* caption;                // UTF-8; empty: the default caption
  QMessageBox::StandardButton press;  // NoButton: Escape
  Dialogs::Answer want;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

class RealBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(RealBoxTest, PressingAButtonGivesItsAnswerAndTheBoxShowsOnlyItsCaption) {
  const BoxCase& c = GetParam();
  QString native_title;
  bool has_icon = false;
  QTimer presser;
  // Presses through Qt once the box is up, as a seller's click would.
  QObject::connect(&presser, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    presser.stop();
    native_title = box->windowHandle() ? box->windowHandle()->title() : QString();
    has_icon = !box->windowIcon().isNull();
    if (c.press == QMessageBox::NoButton)
      QTest::keyClick(box, Qt::Key_Escape);
    else
      box->button(c.press)->click();
  });
  presser.start(10);
  QtDialogs dialogs;
  const Dialogs::Answer answer =
      dialogs.Ask(nullptr, Dialogs::Icon::kQuestion, QString::fromUtf8(c.caption),
                  QStringLiteral("?"), c.buttons);
  EXPECT_EQ(answer, c.want);
  EXPECT_EQ(native_title, *c.caption ? QString::fromUtf8(c.caption) : ProgramTitle());
  EXPECT_TRUE(has_icon);
}

using B = Dialogs::Buttons;
using A = Dialogs::Answer;
INSTANTIATE_TEST_SUITE_P(
    Boxes, RealBoxTest,
    ::testing::Values(
        BoxCase{"YesOfYesNo", B::kYesNo, "写出新的数据库", QMessageBox::Yes, A::kYes},
        BoxCase{"NoOfYesNo", B::kYesNo, "写出新的数据库", QMessageBox::No, A::kNo},
        BoxCase{"EscapeOfYesNo", B::kYesNo, "", QMessageBox::NoButton, A::kNo},
        BoxCase{"OkOfOkCancel", B::kOkCancel, "", QMessageBox::Ok, A::kOk},
        BoxCase{"CancelOfOkCancel", B::kOkCancel, "", QMessageBox::Cancel, A::kCancel},
        BoxCase{"EscapeOfOkCancel", B::kOkCancel, "", QMessageBox::NoButton, A::kCancel},
        BoxCase{"OkAlone", B::kOk, "错误", QMessageBox::Ok, A::kOk},
        BoxCase{"EscapeOfOkAlone", B::kOk, "错误", QMessageBox::NoButton, A::kOk}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(WindowCaption, TheRulesWindowShowsExactlyItsOwnCaption) {
  testing::TempDir dir;
  ScriptedDialogs dialogs;  // the rule table is missing; its box is not the subject
  RuleBook book;
  RulesWindow w(RuleTablePath(DataFolder(dir.path())), book, dialogs);
  w.show();
  ASSERT_NE(w.windowHandle(), nullptr);
  EXPECT_EQ(w.windowHandle()->title(), QStringLiteral("自动发货邮件内容设置"));
  EXPECT_FALSE(w.windowIcon().isNull());
  // The desktop appends an application display name to every caption; none is set.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("fahuo"));
}

}  // namespace
}  // namespace fahuo
