#include "app/support/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <atomic>

namespace fahuo {
namespace {

class QtDialogs : public Dialogs {
 public:
  Answer Ask(QWidget* parent, Icon icon, const QString& caption, const QString& text,
             Buttons buttons) override {
    QMessageBox box(parent);
    box.setWindowTitle(caption.isEmpty() ? ProgramTitle() : caption);
    box.setText(text);
    switch (icon) {
      case Icon::kNone:
        box.setIcon(QMessageBox::NoIcon);
        break;
      case Icon::kInformation:
        box.setIcon(QMessageBox::Information);
        break;
      case Icon::kWarning:
        box.setIcon(QMessageBox::Warning);
        break;
      case Icon::kCritical:
        box.setIcon(QMessageBox::Critical);
        break;
      case Icon::kQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
      case Buttons::kOk:
        box.setStandardButtons(QMessageBox::Ok);
        break;
      case Buttons::kYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
      case Buttons::kOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
      case QMessageBox::Ok:
        return Answer::kOk;
      case QMessageBox::Yes:
        return Answer::kYes;
      case QMessageBox::No:
        return Answer::kNo;
      case QMessageBox::Cancel:
        return Answer::kCancel;
      default:
        break;
    }
    // Closed without a button: the refusing answer (plain acknowledgement for OK alone).
    switch (buttons) {
      case Buttons::kOk:
        return Answer::kOk;
      case Buttons::kYesNo:
        return Answer::kNo;
      case Buttons::kOkCancel:
        break;
    }
    return Answer::kCancel;
  }

  std::optional<QString> Input(QWidget* parent, const QString& caption, const QString& prompt,
                               const QString& initial) override {
    bool ok = false;
    QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return text;
  }

  std::optional<QString> SaveFile(QWidget* parent, const QString& caption, const QString& suggested,
                                  const QString& filter) override {
    QString path = QFileDialog::getSaveFileName(parent, caption, suggested, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
  }
};

QtDialogs g_qt_dialogs;
std::atomic<Dialogs*> g_dialogs{nullptr};

}  // namespace

Dialogs& CurrentDialogs() {
  Dialogs* d = g_dialogs.load();
  return d ? *d : g_qt_dialogs;
}

void SetDialogs(Dialogs* dialogs) { g_dialogs.store(dialogs); }

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, Dialogs::Icon icon) {
  CurrentDialogs().Ask(parent, icon, caption, text, Dialogs::Buttons::kOk);
}

QString ProgramTitle() { return QStringLiteral("发货 fahuo - 自动发货"); }

Dialogs::Answer ScriptedDialogs::Ask(QWidget*, Icon icon, const QString& caption,
                                     const QString& text, Buttons buttons) {
  std::lock_guard lock(mutex_);
  seen_.push_back({icon, caption, text, buttons});
  if (!answers_.empty()) {
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
  }
  return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
}

std::optional<QString> ScriptedDialogs::Input(QWidget*, const QString& caption,
                                              const QString& prompt, const QString& initial) {
  std::lock_guard lock(mutex_);
  seen_.push_back({Icon::kNone, caption, prompt, Buttons::kOkCancel});
  if (!inputs_.empty()) {
    auto [accepted, text] = inputs_.front();
    inputs_.pop_front();
    if (!accepted) return std::nullopt;
    return text;
  }
  return initial;
}

std::optional<QString> ScriptedDialogs::SaveFile(QWidget*, const QString& caption,
                                                 const QString& suggested, const QString&) {
  std::lock_guard lock(mutex_);
  seen_.push_back({Icon::kNone, caption, suggested, Buttons::kOkCancel});
  if (save_files_.empty()) return std::nullopt;
  auto [chosen, path] = save_files_.front();
  save_files_.pop_front();
  if (!chosen) return std::nullopt;
  return path;
}

void ScriptedDialogs::QueueSaveFile(std::optional<QString> path) {
  std::lock_guard lock(mutex_);
  save_files_.emplace_back(path.has_value(), path.value_or(QString()));
}

void ScriptedDialogs::QueueAnswer(Answer a) {
  std::lock_guard lock(mutex_);
  answers_.push_back(a);
}

void ScriptedDialogs::QueueInput(std::optional<QString> text) {
  std::lock_guard lock(mutex_);
  inputs_.emplace_back(text.has_value(), text.value_or(QString()));
}

std::vector<ScriptedDialogs::Shown> ScriptedDialogs::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

std::vector<QString> ScriptedDialogs::Texts() const {
  std::lock_guard lock(mutex_);
  std::vector<QString> out;
  for (const auto& s : seen_) out.push_back(s.text);
  return out;
}

void ScriptedDialogs::ClearSeen() {
  std::lock_guard lock(mutex_);
  seen_.clear();
}

}  // namespace fahuo
