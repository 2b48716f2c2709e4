#pragma once
// Keeps the four settings fields and Peizhi.ini in step: loaded once at start-up, written
// on every change of a field.
#include <QObject>

namespace fahuo {

class MainWindow;

class SettingsBinder : public QObject {
  Q_OBJECT
 public:
  explicit SettingsBinder(MainWindow* window);
  // Fills the fields from the file (defaults for what is missing); writes nothing back.
  void Load();

 private:
  MainWindow* window_;
  bool loading_ = false;
};

}  // namespace fahuo
