#pragma once
#include <QDialog>

namespace fahuo {

// The window in which the seller edits the delivery rules; opened modally.
class RulesWindow : public QDialog {
  Q_OBJECT
 public:
  explicit RulesWindow(QWidget* parent = nullptr);
};

}  // namespace fahuo
