#include "ui/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace fahuo {

void Dialogs::ShowMessage(QWidget* parent, const QString& text, const QString& caption, Icon icon) {
  Ask(parent, icon, caption, text, Buttons::kOk);
}

Dialogs::Answer QtDialogs::Ask(QWidget* parent, Icon icon, const QString& caption,
                               const QString& text, Buttons buttons) {
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

std::optional<QString> QtDialogs::Input(QWidget* parent, const QString& caption,
                                        const QString& prompt, const QString& initial) {
  bool ok = false;
  QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

std::optional<QString> QtDialogs::SaveFile(QWidget* parent, const QString& caption,
                                           const QString& suggested, const QString& filter) {
  QString path = QFileDialog::getSaveFileName(parent, caption, suggested, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtDialogs::OpenFile(QWidget* parent, const QString& caption,
                                           const QString& filter) {
  QString path = QFileDialog::getOpenFileName(parent, caption, {}, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

QString ProgramTitle() { return QStringLiteral("发货 fahuo - 自动发货"); }

}  // namespace fahuo
