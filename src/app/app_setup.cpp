#include "app/app_setup.h"

#include <QApplication>

#include "fahuo_version.h"

// The icons are compiled into a static library; without an explicit reference the linker
// drops their registration from the executable. Q_INIT_RESOURCE must be used outside any
// namespace.
static void RegisterProgramResources() { Q_INIT_RESOURCE(resources); }

namespace fahuo {

QIcon ProgramIcon() {
  static const bool registered = (RegisterProgramResources(), true);
  (void)registered;
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/fahuo-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

void ConfigureApplication() {
  QApplication::setApplicationName(QStringLiteral("fahuo"));
  QApplication::setApplicationVersion(QStringLiteral(FAHUO_VERSION));
  QApplication::setWindowIcon(ProgramIcon());
  // Lets a desktop (Wayland in particular) match the windows to the launcher fahuo.desktop.
  QGuiApplication::setDesktopFileName(QStringLiteral("fahuo"));
  QApplication::setQuitOnLastWindowClosed(false);  // the window hides to the tray
}

}  // namespace fahuo
