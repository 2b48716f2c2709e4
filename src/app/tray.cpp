#include "app/tray.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>

#include "ui/dialogs.h"

namespace fahuo {

TrayController::TrayController(QWidget* window, QMenu* menu, Dialogs& dialogs, QObject* parent)
    : QObject(parent),
      window_(window),
      menu_(menu),
      dialogs_(dialogs),
      icon_(new QSystemTrayIcon(window)) {
  exit_program = [] { QCoreApplication::exit(0); };
  connect(icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason r) { OnTrayEvent(CodeForReason(r)); });
}

void TrayController::Install() {
  icon_->setIcon(window_->windowIcon());
  icon_->setToolTip(ProgramTitle());
  icon_->setContextMenu(nullptr);  // the menu pops up through code 3 only
  icon_->show();
}

int TrayController::CodeForReason(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
      return 2;
    case QSystemTrayIcon::Context:
      return 3;
    default:
      return 0;
  }
}

void TrayController::OnTrayEvent(int code) {
  if (code == 2) {
    OnOpen();
  } else if (code == 3) {
    menu_->popup(QCursor::pos());
  }
}

void TrayController::OnOpen() {
  window_->show();
  if (window_->isMinimized()) window_->showNormal();
  window_->raise();
  window_->activateWindow();
}

void TrayController::OnClose() {
  auto answer = dialogs_.Ask(window_, Dialogs::Icon::kQuestion, {},
                             QStringLiteral("您确定要退出嘛？"), Dialogs::Buttons::kOkCancel);
  if (answer != Dialogs::Answer::kOk) return;
  if (exit_program) exit_program();
}

bool TrayController::CanHideToTray() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayController::Notify(const QString& title, const QString& text) {
  if (!icon_->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable()) return;
  icon_->showMessage(title, text, QSystemTrayIcon::Warning);
}

}  // namespace fahuo
