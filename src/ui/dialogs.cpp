#include "ui/dialogs.h"

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

}  // namespace fahuo
