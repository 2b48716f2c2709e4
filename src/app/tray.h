#pragma once
// The tray icon, its menu and the one way out of the program.
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

class QMenu;
class QWidget;

namespace fahuo {

class Dialogs;

class TrayController : public QObject {
  Q_OBJECT
 public:
  // Shows and hides `window` (the icon's parent) and pops up `menu` on code 3. Asks through
  // `dialogs`, which outlives this.
  TrayController(QWidget* window, QMenu* menu, Dialogs& dialogs, QObject* parent = nullptr);

  // Sets the icon and tip and shows it (first start-up step).
  void Install();
  // Action codes: 2 shows the window, 3 pops up the menu; others do nothing.
  void OnTrayEvent(int code);
  void OnOpen();
  // Asks "您确定要退出嘛？" and ends the program on OK.
  void OnClose();
  // Whether closing the window may just hide it (a tray exists to bring it back).
  bool CanHideToTray() const;
  // Shows a message at the tray icon when there is one to show it at; otherwise nothing
  // (whatever is notified is in the log too). UI thread.
  void Notify(const QString& title, const QString& text);

  QSystemTrayIcon* icon() const { return icon_; }
  // How the program ends (tests replace it). Default: leave the event loop with code 0.
  std::function<void()> exit_program;

  static int CodeForReason(QSystemTrayIcon::ActivationReason reason);

 private:
  QWidget* window_;
  QMenu* menu_;
  Dialogs& dialogs_;
  QSystemTrayIcon* icon_;
};

}  // namespace fahuo
