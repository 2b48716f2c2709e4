#pragma once
// Every message box, question box and input box of fahuo goes through here, so that GUI
// tests can answer them instead of blocking.
#include <QObject>
#include <QString>
#include <optional>

class QWidget;

namespace fahuo {

class Dialogs {
 public:
  enum class Icon { kNone, kInformation, kWarning, kCritical, kQuestion };
  enum class Buttons { kOk, kYesNo, kOkCancel };
  enum class Answer { kOk, kCancel, kYes, kNo };

  virtual ~Dialogs() = default;
  // An empty caption means the default caption (the program title).
  virtual Answer Ask(QWidget* parent, Icon icon, const QString& caption, const QString& text,
                     Buttons buttons) = 0;
  // nullopt when cancelled.
  virtual std::optional<QString> Input(QWidget* parent, const QString& caption,
                                       const QString& prompt, const QString& initial) = 0;
  // The path to save to; nullopt when cancelled. `filter` as QFileDialog takes it.
  virtual std::optional<QString> SaveFile(QWidget* parent, const QString& caption,
                                          const QString& suggested, const QString& filter) = 0;
};

// The dialogs in use: real Qt dialogs unless a test installed others.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);  // not owned; nullptr restores the real ones

// Shortcuts for the common boxes (UI thread only).
void ShowMessage(QWidget* parent, const QString& text, const QString& caption = {},
                 Dialogs::Icon icon = Dialogs::Icon::kNone);

// The window caption and tray tip.
QString ProgramTitle();

}  // namespace fahuo
