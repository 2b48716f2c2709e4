#pragma once
// The delivery record as a table model over the ledger: rows newest first, fetched a page at
// a time as the view scrolls, so a ledger of any size opens at once. UI thread only.
#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "ledger/ledger.h"

class QTableView;

namespace fahuo {

class RecordModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kPageRows = 500;

  // Opens on every entry (the first page read).
  explicit RecordModel(Ledger& ledger, QObject* parent = nullptr);

  // Shows the entries `filter` lets through (its below_seq is ignored), from the top.
  void SetFilter(const LedgerFilter& filter);
  const LedgerFilter& filter() const { return filter_; }
  // Reads the ledger again with the same filter, keeping at least as many rows fetched as
  // before (the view keeps its place).
  void Reload();

  size_t MatchingCount() const { return total_; }  // all rows of the filter, fetched or not
  const LedgerEntry* EntryAt(int row) const;
  int RowOfSerial(const std::string& serial) const;  // -1 when not fetched

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent = {}) const override;
  void fetchMore(const QModelIndex& parent = {}) override;

 private:
  // Reads up to `limit` rows below the last one held.
  std::vector<LedgerEntry> ReadBelow(size_t limit) const;

  Ledger& ledger_;
  LedgerFilter filter_;
  std::vector<LedgerEntry> rows_;
  size_t total_ = 0;
  bool exhausted_ = true;  // the last read came back short: nothing below
};

// Column widths for `table` over a RecordModel: 流水号 and 发货状态 as wide as their longest
// text (a 28-digit serial at least, the rows fetched, every state text), so the serial the
// seller compares with the payment app reads whole; the last column takes what is left.
void SizeRecordColumns(QTableView* table);

}  // namespace fahuo
