#include "app/record_model.h"

#include <QColor>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <iterator>

#include "ledger/bill_state_text.h"
#include "ledger/record_rows.h"

namespace fahuo {
namespace {

constexpr int kSerialColumn = 1;
constexpr int kStateColumn = 6;
static_assert(kRecordColumns[kSerialColumn] == "流水号" &&
              kRecordColumns[kStateColumn] == "发货状态");
// The payment service's trade numbers have 28 digits.
constexpr int kSerialDigits = 28;

int WidestStateText(const QFontMetrics& metrics) {
  int widest = 0;
  LedgerEntry entry;
  auto measure = [&] {
    widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(StateText(entry))));
  };
  for (BillState state : FilterStates()) {
    entry.state = state;
    measure();
  }
  entry.state = BillState::kSkipped;
  entry.last_error = "buyer12345@foxmail.com";  // a suggested address, as kSuspectAddress shows
  for (const char* why : {skip::kNoNote, skip::kNotQq, skip::kInvalidAddress, skip::kNoRule,
                          skip::kBadAmount, skip::kSuspectAddress}) {
    entry.skip_reason = why;
    measure();
  }
  entry.state = BillState::kSent;  // the longest mark a sent bill can carry
  entry.skip_reason = skip::kMaybeTwice;
  measure();
  return widest;
}

}  // namespace

RecordModel::RecordModel(Ledger& ledger, QObject* parent)
    : QAbstractTableModel(parent), ledger_(ledger) {
  SetFilter({});
}

std::vector<LedgerEntry> RecordModel::ReadBelow(size_t limit) const {
  LedgerFilter page = filter_;
  page.below_seq = rows_.empty() ? 0 : rows_.back().seq;
  return ledger_.Page(page, 0, limit);
}

void RecordModel::SetFilter(const LedgerFilter& filter) {
  filter_ = filter;
  filter_.below_seq = 0;
  beginResetModel();
  rows_.clear();
  total_ = ledger_.Count(filter_);
  rows_ = ReadBelow(kPageRows);
  exhausted_ = rows_.size() < static_cast<size_t>(kPageRows);
  endResetModel();
}

void RecordModel::Reload() {
  const size_t keep = std::max(rows_.size(), static_cast<size_t>(kPageRows));
  beginResetModel();
  rows_.clear();
  total_ = ledger_.Count(filter_);
  rows_ = ReadBelow(keep);
  exhausted_ = rows_.size() < keep;
  endResetModel();
}

const LedgerEntry* RecordModel::EntryAt(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return nullptr;
  return &rows_[static_cast<size_t>(row)];
}

int RecordModel::RowOfSerial(const std::string& serial) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].bill.流水号 == serial) return static_cast<int>(i);
  }
  return -1;
}

int RecordModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kRecordColumns.size());
}

QVariant RecordModel::data(const QModelIndex& index, int role) const {
  const LedgerEntry* e = EntryAt(index.row());
  if (!e || index.column() < 0) return {};
  const size_t column = static_cast<size_t>(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(RecordCell(*e, column));
    case Qt::ForegroundRole:
      if (column == 6) return QColor::fromRgb(StateColour(e->state));
      return {};
    case Qt::TextAlignmentRole:
      if (column == 2 || column == 7) return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      static_cast<size_t>(section) >= kRecordColumns.size()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const std::string_view name = kRecordColumns[static_cast<size_t>(section)];
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

bool RecordModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !exhausted_;
}

void RecordModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || exhausted_) return;
  std::vector<LedgerEntry> more = ReadBelow(kPageRows);
  exhausted_ = more.size() < static_cast<size_t>(kPageRows);
  if (more.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(more.size()) - 1);
  for (LedgerEntry& e : more) rows_.push_back(std::move(e));
  endInsertRows();
}

void SizeRecordColumns(QTableView* table) {
  static const int kWidths[] = {115, 0, 65, 130, 140, 100, 0, 40, 140, 110, 140};  // 0: measured
  const QFontMetrics metrics = table->fontMetrics();
  int serial = metrics.horizontalAdvance(QString(kSerialDigits, u'0'));
  QAbstractItemModel* model = table->model();
  for (int row = 0; row < model->rowCount(); ++row) {
    serial = std::max(
        serial, metrics.horizontalAdvance(model->index(row, kSerialColumn).data().toString()));
  }
  // The item's text margins on both sides, the grid line and a little air.
  const int pad =
      2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1) + 6;
  for (int c = 0; c < static_cast<int>(std::size(kWidths)); ++c) {
    int width = kWidths[c];
    if (c == kSerialColumn) width = serial + pad;
    if (c == kStateColumn) width = WidestStateText(metrics) + pad;
    table->setColumnWidth(c, std::max(width, table->horizontalHeader()->sectionSizeHint(c)));
  }
}

}  // namespace fahuo
