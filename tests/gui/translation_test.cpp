// Qt's own buttons in Chinese, read from a real message box.
#include "ui/translation.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace fahuo {
namespace {

TEST(Translation, MessageBoxButtonsReadChinese) {
  ASSERT_TRUE(LoadQtChinese(*QCoreApplication::instance()))
      << "qtbase_zh_CN missing: install qt6-translations-l10n";
  QMessageBox box(QMessageBox::Question, QStringLiteral("发货"), QStringLiteral("您确定要退出嘛？"),
                  QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
  const auto text = [&box](QMessageBox::StandardButton b) {
    return box.button(b)->text().remove(QRegularExpression(QStringLiteral("\\(?&.\\)?")));
  };
  EXPECT_EQ(text(QMessageBox::Ok), QStringLiteral("确定"));
  EXPECT_EQ(text(QMessageBox::Cancel), QStringLiteral("取消"));
  EXPECT_EQ(text(QMessageBox::Yes), QStringLiteral("是"));
  EXPECT_EQ(text(QMessageBox::No), QStringLiteral("否"));
}

}  // namespace
}  // namespace fahuo
