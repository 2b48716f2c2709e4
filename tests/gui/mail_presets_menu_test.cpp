// The mailbox drop-down on a real QLineEdit: picking fills host:port, typing stays free.
#include "app/mail_presets_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>

#include "delivery/mail_presets.h"

namespace fahuo {
namespace {

TEST(MailPresetsMenu, PickingAMailboxFillsHostAndPortAndTypingStaysFree) {
  QLineEdit field(QStringLiteral("mail.example.com"));
  QMenu* menu = AttachMailPresets(&field);
  ASSERT_NE(menu, nullptr);
  QAction* arrow = field.findChild<QAction*>(QStringLiteral("邮箱预设"));
  ASSERT_NE(arrow, nullptr);
  arrow->trigger();  // pops the menu; the field keeps its text
  EXPECT_EQ(field.text(), QStringLiteral("mail.example.com"));
  menu->hide();

  struct Want {
    const char* name;
    const char* text;
  };
  const Want wants[] = {
      {"QQ 邮箱", "smtp.qq.com:465"},
      {"163 邮箱", "smtp.163.com:465"},
      {"126 邮箱", "smtp.126.com:465"},
      {"新浪邮箱", "smtp.sina.com:465"},
      {"阿里企业邮", "smtp.qiye.aliyun.com:465"},
      {"腾讯企业邮", "smtp.exmail.qq.com:465"},
      {"Outlook", "smtp.office365.com:587"},
      {"Gmail", "smtp.gmail.com:465"},
  };
  ASSERT_EQ(MailPresets().size(), std::size(wants));
  ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(std::size(wants)));
  QSignalSpy changed(&field, &QLineEdit::textChanged);  // the settings file follows it
  for (const Want& w : wants) {
    SCOPED_TRACE(w.name);
    QAction* pick =
        menu->findChild<QAction*>(QStringLiteral("邮箱预设_") + QString::fromUtf8(w.name));
    ASSERT_NE(pick, nullptr);
    pick->trigger();
    EXPECT_EQ(field.text(), QString::fromUtf8(w.text));
  }
  EXPECT_EQ(changed.count(), static_cast<int>(std::size(wants)));

  field.clear();
  field.insert(QStringLiteral("smtp.example.org:2525"));
  EXPECT_EQ(field.text(), QStringLiteral("smtp.example.org:2525"));
}

}  // namespace
}  // namespace fahuo
