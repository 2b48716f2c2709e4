#include "app/bill_list_model.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QStyle>
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "app/state_icon.h"
#include "ledger/bill_state_text.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

// 序号 also holds the state mark, beside the row number. The first eight share the list's
// 750 px at the default size; 发货状态 follows for whoever widens the window.
const int kWidths[BillListModel::kColumns] = {56, 120, 70, 90, 160, 90, 50, 80, 110};
// What 备注, 名称, 流水号 and 对方 give up, down to these, so that 金额 and 状态 stay in view;
// the serial is elided in the middle and whole in its tool tip.
struct Shrinkable {
  int column;
  int least;
};
constexpr Shrinkable kShrinkable[] = {{2, 56}, {3, 64}, {4, 110}, {5, 64}};
constexpr int kSerialColumn = 4;
constexpr int kAmountColumn = 6;

// Wide enough for any amount a bill of this seller shows, so that one found later (a bigger
// order than those at the sign-in) is never cut.
int AmountWidth(const QTableView* view) {
  return view->fontMetrics().horizontalAdvance(QStringLiteral("+99999.99")) + 12;
}

// Above this many new bills at once, one read of every state beats a look-up per bill.
constexpr size_t kLookUpLimit = 256;

QString MarkText(const Ledger::StateMark& mark) {
  LedgerEntry entry;
  entry.state = mark.state;
  entry.skip_reason = mark.skip_reason;
  entry.last_error = mark.last_error;
  return QString::fromStdString(StateText(entry));
}

QColor MarkColour(BillState state) { return QColor::fromRgb(StateColour(state)); }

}  // namespace

QString DisplayDate(const QString& stored) {
  // The page sets the day and the time in two blocks that reach the text glued together.
  static const int kDayLength = 10;  // yyyy.MM.dd
  if (stored.size() > kDayLength && stored[4] == u'.' && stored[7] == u'.' &&
      stored[kDayLength].isDigit()) {
    return stored.left(kDayLength) + u' ' + stored.mid(kDayLength);
  }
  return stored;
}

BillListModel::BillListModel(Ledger& ledger, QObject* parent)
    : QAbstractTableModel(parent), ledger_(ledger) {}

void BillListModel::Show(const BillList* list) {
  beginResetModel();
  list_ = list;
  rows_.clear();
  keys_.clear();
  first_key_ = 0;
  front_seen_ = back_seen_ = 0;
  revision_ = ledger_.ChangedSince(0).revision;
  if (list_) {
    BillList::Added all = list_->AddedSince(0, 0);
    front_seen_ = all.front_total;
    back_seen_ = all.back_total;
    for (BillRecord& bill : all.front) Place(std::move(bill), false, false);
    for (BillRecord& bill : all.back) Place(std::move(bill), false, false);
    ReadAllStates();
  }
  endResetModel();
}

void BillListModel::Place(BillRecord bill, bool at_front, bool look_up) {
  Row row;
  if (look_up) row.mark = ledger_.StateOf(bill.流水号);
  const std::string serial = bill.流水号;
  row.bill = std::move(bill);
  int64_t key;
  if (at_front) {
    key = --first_key_;
    rows_.push_front(std::move(row));
  } else {
    key = first_key_ + static_cast<int64_t>(rows_.size());
    rows_.push_back(std::move(row));
  }
  keys_.emplace(serial, key);
}

void BillListModel::ReadAllStates() {
  const auto states = ledger_.AllStates();
  for (Row& row : rows_) {
    auto it = states.find(row.bill.流水号);
    if (it == states.end()) {
      row.mark.reset();
    } else {
      row.mark = it->second;
    }
  }
}

void BillListModel::Sync() {
  if (!list_) return;
  BillList::Added added = list_->AddedSince(front_seen_, back_seen_);
  front_seen_ = added.front_total;
  back_seen_ = added.back_total;
  const bool many = added.front.size() + added.back.size() > kLookUpLimit;
  if (!added.front.empty()) {
    beginInsertRows({}, 0, static_cast<int>(added.front.size()) - 1);
    // Pushed one by one at the front: the last of them ends up first, as in the list.
    for (auto it = added.front.rbegin(); it != added.front.rend(); ++it)
      Place(std::move(*it), true, !many);
    endInsertRows();
  }
  if (!added.back.empty()) {
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(added.back.size()) - 1);
    for (BillRecord& bill : added.back) Place(std::move(bill), false, !many);
    endInsertRows();
  }
  Ledger::Changes changes = ledger_.ChangedSince(revision_);
  revision_ = changes.revision;
  if (many || !changes.complete) {
    ReadAllStates();
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
    return;
  }
  for (const std::string& serial : changes.serials) {
    auto [from, to] = keys_.equal_range(serial);
    if (from == to) continue;
    const std::optional<Ledger::StateMark> mark = ledger_.StateOf(serial);
    for (auto it = from; it != to; ++it) {
      const int row = RowOf(it->second);
      rows_[static_cast<size_t>(row)].mark = mark;
      emit dataChanged(index(row, 0), index(row, kColumns - 1));
    }
  }
}

std::string BillListModel::SerialAt(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  return rows_[static_cast<size_t>(row)].bill.流水号;
}

int BillListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BillListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant BillListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole) {
    const BillRecord& b = row.bill;
    switch (index.column()) {
      case 0:
        return QString::number(index.row() + 1);
      case 1:
        return DisplayDate(FromGbk(b.日期));
      case 2:
        return FromGbk(b.备注);
      case 3:
        return FromGbk(b.名称);
      case 4:
        return FromGbk(b.流水号);
      case 5:
        return FromGbk(b.对方);
      case 6:
        return FromGbk(b.金额);
      case 7:
        return FromGbk(b.状态);
      case kStateColumn:
        return row.mark ? MarkText(*row.mark) : QString();
    }
    return {};
  }
  // The 发货状态 column lies beyond the right edge at the default size: the first column
  // marks the state and every cell tells it on hover.
  if (role == Qt::DecorationRole && index.column() == 0)
    return StateIcon(row.mark ? std::optional(row.mark->state) : std::nullopt);
  if (role == Qt::ToolTipRole && index.column() == kSerialColumn) {
    // The serial may be elided in its cell: the tip has it whole.
    const QString serial = FromGbk(row.bill.流水号);
    return row.mark ? serial + u'\n' + MarkText(*row.mark) : serial;
  }
  if (!row.mark) return {};
  if (role == Qt::ToolTipRole) return MarkText(*row.mark);
  if (role == Qt::ForegroundRole && index.column() == kStateColumn)
    return QBrush(MarkColour(row.mark->state));
  // A bill that waits for the seller stands out over the whole row.
  if (role == Qt::BackgroundRole && NeedsSeller(row.mark->state))
    return QBrush(QColor(255, 232, 232));
  return {};
}

QVariant BillListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kTitles[kColumns] = {"序号", "日期", "备注", "名称",    "流水号",
                                                "对方", "金额", "状态", "发货状态"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= kColumns) return {};
  return QString::fromUtf8(kTitles[section]);
}

QTableView* CreateBillListView(QWidget* parent, BillListModel* model) {
  auto* view = new QTableView(parent);
  // A table keeps one height for every row, so a new row costs the same at 100 or
  // 100,000 rows (a tree view lays out all of them again).
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->horizontalHeader()->setHighlightSections(false);
  view->setShowGrid(false);
  view->setWordWrap(false);
  view->setTextElideMode(Qt::ElideMiddle);  // a long serial keeps its start and its end
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  view->setModel(model);
  for (int i = 0; i < BillListModel::kColumns; ++i) view->setColumnWidth(i, kWidths[i]);
  view->setColumnWidth(kAmountColumn, std::max(kWidths[kAmountColumn], AmountWidth(view)));
  return view;
}

void FitBillListColumns(QTableView* view) {
  // Only the header and the rows near the top are measured, so this stays cheap.
  int widths[BillListModel::kColumns];
  for (int i = 0; i < BillListModel::kColumns; ++i) {
    view->resizeColumnToContents(i);
    widths[i] = std::max(kWidths[i], view->columnWidth(i) + 6);
  }
  widths[kAmountColumn] = std::max(widths[kAmountColumn], AmountWidth(view));
  // The room left of 发货状态, a vertical scroll bar counted (the list grows one soon).
  const int room = view->width() - 2 * view->frameWidth() -
                   view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
  int used = 0;
  for (int i = 0; i < BillListModel::kStateColumn; ++i) used += widths[i];
  int slack = 0;
  for (const Shrinkable& s : kShrinkable) slack += std::max(0, widths[s.column] - s.least);
  const int excess = std::min(used - room, slack);
  if (excess > 0) {
    // Each gives up in proportion to what it holds above its least width; the rounding's
    // few pixels come from whichever still can.
    int left = excess;
    for (const Shrinkable& s : kShrinkable) {
      const int give = static_cast<int>(static_cast<int64_t>(excess) *
                                        std::max(0, widths[s.column] - s.least) / slack);
      widths[s.column] -= give;
      left -= give;
    }
    for (const Shrinkable& s : kShrinkable) {
      const int give = std::min(left, std::max(0, widths[s.column] - s.least));
      widths[s.column] -= give;
      left -= give;
    }
  }
  for (int i = 0; i < BillListModel::kColumns; ++i) view->setColumnWidth(i, widths[i]);
}

}  // namespace fahuo
