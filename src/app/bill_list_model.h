#pragma once
// The bill list on screen (超级列表框1): the run's bills with what became of each. The
// model keeps its own copy and follows the bill lists and the ledger by their changes, so
// a new bill inserts a row and a state change repaints one, whatever the list's size.
#include <QAbstractTableModel>
#include <QTableView>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "capture/bill_list.h"
#include "ledger/ledger.h"

namespace fahuo {

class BillListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // Columns: 序号 日期 备注 名称 流水号 对方 金额 状态, then 发货状态. 序号 also shows the
  // state's mark (StateIcon), since 发货状态 needs scrolling at the default size.
  static constexpr int kColumns = 9;
  static constexpr int kStateColumn = 8;

  BillListModel(Ledger& ledger, QObject* parent = nullptr);

  // Shows `list` from scratch (when the seller switches lists). UI thread.
  void Show(const BillList* list);
  // Takes in the bills added to the shown list and the states changed in the ledger since
  // the last call. UI thread.
  void Sync();

  // The bill in `row` (GBK); empty when out of range.
  std::string SerialAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    BillRecord bill;
    std::optional<Ledger::StateMark> mark;  // none: not in the ledger
  };
  void Place(BillRecord bill, bool at_front, bool look_up);
  void ReadAllStates();
  int RowOf(int64_t key) const { return static_cast<int>(key - first_key_); }

  Ledger& ledger_;
  const BillList* list_ = nullptr;
  std::deque<Row> rows_;
  // Rows keep a key that survives inserts at the front: row = key - first_key_.
  int64_t first_key_ = 0;
  std::unordered_multimap<std::string, int64_t> keys_;  // 流水号 -> key
  size_t front_seen_ = 0;
  size_t back_seen_ = 0;
  uint64_t revision_ = 0;
};

// The list view over `model`, with the list's column widths.
QTableView* CreateBillListView(QWidget* parent, BillListModel* model);
// Widens each column to its header and the rows in view, never below the list's widths.
void FitBillListColumns(QTableView* view);

// The page's date as the seller reads it: "2026.12.0822:20" shows as "2026.12.08 22:20".
QString DisplayDate(const QString& stored);

}  // namespace fahuo
