#include "ui/widgets.h"

#include <QHeaderView>
#include <QTableWidget>

namespace fahuo {

QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headers) {
  auto* table = Named(new QTableWidget(0, static_cast<int>(headers.size()), parent), name);
  table->setHorizontalHeaderLabels(headers);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

}  // namespace fahuo
