#pragma once
// Dialogs for GUI tests: answered from a script instead of blocking. A test builds one and
// hands it to the windows it builds.
#include <QString>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "ui/dialogs.h"

namespace fahuo {

// Test double: records every dialog, answers from a queue (default: Ok / Yes / accept the
// initial input). Thread-safe, so a worker's blocking box can be answered too.
class ScriptedDialogs : public Dialogs {
 public:
  struct Shown {
    Icon icon;
    QString caption;
    QString text;
    Buttons buttons;
  };
  Answer Ask(QWidget* parent, Icon icon, const QString& caption, const QString& text,
             Buttons buttons) override;
  std::optional<QString> Input(QWidget* parent, const QString& caption, const QString& prompt,
                               const QString& initial) override;
  // Answers from QueueSaveFile; without one, cancelled (a test never writes where a real
  // user's files are).
  std::optional<QString> SaveFile(QWidget* parent, const QString& caption, const QString& suggested,
                                  const QString& filter) override;
  // Answers from QueueOpenFile; without one, cancelled.
  std::optional<QString> OpenFile(QWidget* parent, const QString& caption,
                                  const QString& filter) override;

  void QueueAnswer(Answer a);
  void QueueOpenFile(QString path);
  void QueueInput(std::optional<QString> text);
  void QueueSaveFile(std::optional<QString> path);
  std::vector<Shown> Seen() const;
  std::vector<QString> Texts() const;
  void ClearSeen();

 private:
  mutable std::mutex mutex_;
  std::deque<Answer> answers_;
  std::deque<std::pair<bool, QString>> inputs_;      // accepted?, text
  std::deque<std::pair<bool, QString>> save_files_;  // chosen?, path
  std::deque<QString> open_files_;
  std::vector<Shown> seen_;
};

}  // namespace fahuo
