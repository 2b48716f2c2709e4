#include "capture/qt/bill_list_view.h"

#include <QHeaderView>

#include "ui/qt_text.h"

namespace fahuo {

QTreeWidget* CreateBillListView(QWidget* parent) {
  auto* view = new QTreeWidget(parent);
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setHeaderLabels({QStringLiteral("序号"), QStringLiteral("日期"), QStringLiteral("备注"),
                         QStringLiteral("名称"), QStringLiteral("流水号"), QStringLiteral("对方"),
                         QStringLiteral("金额"), QStringLiteral("状态")});
  const int widths[] = {40, 120, 80, 100, 180, 100, 50, 80};
  for (int i = 0; i < 8; ++i) view->setColumnWidth(i, widths[i]);
  return view;
}

void RefreshBillList(QTreeWidget* view, const std::vector<BillRecord>& bills) {
  view->setUpdatesEnabled(false);
  view->clear();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(bills.size()));
  for (size_t i = 0; i < bills.size(); ++i) {
    const BillRecord& b = bills[i];
    rows.append(new QTreeWidgetItem(
        QStringList{QString::number(i + 1), FromGbk(b.日期), FromGbk(b.备注), FromGbk(b.名称),
                    FromGbk(b.流水号), FromGbk(b.对方), FromGbk(b.金额), FromGbk(b.状态)}));
  }
  view->addTopLevelItems(rows);
  view->setUpdatesEnabled(true);
}

}  // namespace fahuo
