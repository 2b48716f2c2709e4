#include "scripted_dialogs.h"

namespace fahuo {

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

std::optional<QString> ScriptedDialogs::OpenFile(QWidget*, const QString& caption, const QString&) {
  std::lock_guard lock(mutex_);
  seen_.push_back({Icon::kNone, caption, {}, Buttons::kOkCancel});
  if (open_files_.empty()) return std::nullopt;
  QString path = open_files_.front();
  open_files_.pop_front();
  return path;
}

void ScriptedDialogs::QueueOpenFile(QString path) {
  std::lock_guard lock(mutex_);
  open_files_.push_back(std::move(path));
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
