#pragma once
// Keeps the four settings fields and Peizhi.ini in step: loaded once at start-up, written
// on every change of a field.
#include <QObject>
#include <QString>

namespace fahuo {

class MainWindow;
struct SettingKey;

class SettingsBinder : public QObject {
  Q_OBJECT
 public:
  explicit SettingsBinder(MainWindow* window);
  // Removes temporaries an interrupted write left behind, then fills the fields from the
  // file (defaults for what is missing); writes nothing back.
  void Load();

 signals:
  // A write failed after the last one succeeded (once per run of failures, not per
  // keystroke); `message` is for the seller.
  void writeFailed(const QString& message);
  // The first write that succeeded after a failure.
  void writeRecovered(const QString& message);

 private:
  void Save(const SettingKey& key, const QString& text);

  MainWindow* window_;
  bool loading_ = false;
  bool failing_ = false;
};

}  // namespace fahuo
