#pragma once
// The bill list on screen (超级列表框1).
#include <QTreeWidget>
#include <vector>

#include "capture/bill_list.h"

namespace fahuo {

// A report-style list with the columns 序号 日期 备注 名称 流水号 对方 金额 状态.
QTreeWidget* CreateBillListView(QWidget* parent);

// Redraws `view` from `bills`: rows numbered from 1, in list order. UI thread only.
void RefreshBillList(QTreeWidget* view, const std::vector<BillRecord>& bills);
inline void RefreshBillList(QTreeWidget* view, const BillList& list) {
  RefreshBillList(view, list.Snapshot());
}

}  // namespace fahuo
