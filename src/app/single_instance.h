#pragma once
// One copy of fahuo per data folder: two copies on the same ledger would mail every buyer
// twice. The lock is an flock on a file in the data folder, which the system releases when
// a copy ends in any way, so a crashed copy never leaves it stuck.
#include <QObject>
#include <QString>
#include <functional>

#include "platform/files.h"

class QLocalServer;

namespace fahuo {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& data_folder, QObject* parent = nullptr);
  ~SingleInstance() override;

  // Takes the folder's lock. False when another copy holds it (or the lock file cannot be
  // made: then this copy runs, since refusing to start would help nobody).
  bool Acquire();

  // Asks the copy that holds the lock to bring its window to the front. True when it
  // answered.
  bool AskRunningCopyToShow();

  // Listens for later copies; `show` runs on the UI thread whenever one asks.
  void Listen(std::function<void()> show);

 private:
  QString folder_;
  QString server_name_;
  FileLock lock_;
  QLocalServer* server_ = nullptr;
};

}  // namespace fahuo
