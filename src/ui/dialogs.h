#pragma once
// Every message box, question box and input box of fahuo goes through a Dialogs that its
// owner hands in (main() the real Qt one, a GUI test one that answers instead of blocking).
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
  // An existing file to read; nullopt when cancelled.
  virtual std::optional<QString> OpenFile(QWidget* parent, const QString& caption,
                                          const QString& filter) = 0;

  // The common box: `text` with OK alone (UI thread only).
  void ShowMessage(QWidget* parent, const QString& text, const QString& caption = {},
                   Icon icon = Icon::kNone);
};

// The real Qt boxes. main() owns the one the program uses.
class QtDialogs final : public Dialogs {
 public:
  Answer Ask(QWidget* parent, Icon icon, const QString& caption, const QString& text,
             Buttons buttons) override;
  std::optional<QString> Input(QWidget* parent, const QString& caption, const QString& prompt,
                               const QString& initial) override;
  std::optional<QString> SaveFile(QWidget* parent, const QString& caption, const QString& suggested,
                                  const QString& filter) override;
  std::optional<QString> OpenFile(QWidget* parent, const QString& caption,
                                  const QString& filter) override;
};

// The window caption and tray tip.
QString ProgramTitle();

}  // namespace fahuo
