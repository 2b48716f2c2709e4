#include "rules/qt/rules_window.h"

namespace fahuo {

RulesWindow::RulesWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("自动发货邮件内容设置"));
  setGeometry(50, 50, 640, 581);
}

}  // namespace fahuo
