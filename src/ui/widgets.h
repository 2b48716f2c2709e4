#pragma once
// Small builders the windows share: widgets named for tests and tools, and read-only tables.
#include <QString>
#include <QStringList>

class QTableWidget;
class QWidget;

namespace fahuo {

// `widget`, with its object name set (the control's name, as tests find it).
template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromUtf8(name));
  return widget;
}

// A read-only table selected by rows, no row numbers, its last column stretched.
QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headers);

}  // namespace fahuo
