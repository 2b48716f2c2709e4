#pragma once
// The stocks of codes (库存管理): each stock with its available and given codes, its pace
// over the last days and the days its codes last at it, and its low-stock warnings (a count,
// a number of days); codes pasted in and added to a stock; the given codes found by code,
// with the bill, buyer and time. A window of its own, not modal. UI thread only: the ledger
// writes run through the runner (the sender's worker) and the answer comes back here; an
// imported file is read on the window's own worker first, so the sender never waits for
// a disk.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/worker.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace fahuo {

class Clock;
class Dialogs;
class Ledger;
struct CodeFile;

class StockWindow : public QWidget {
  Q_OBJECT

 public:
  using Runner = std::function<void(std::function<void()> job)>;
  // `ledger`, `clock` and `dialogs` outlive the window.
  StockWindow(Ledger& ledger, const Clock& clock, Runner run, Dialogs& dialogs,
              QWidget* parent = nullptr);

  // Reads the stocks and the given codes again.
  void Reload();
  // Adds the codes in the paste box to the stock named in the name box; the summary
  // ("导入 3 个，重复 1 个已跳过") shows in a box once the worker answered.
  void AddPasted();
  // The threshold box's and the days box's values for the named stock.
  void SetThreshold();
  // Asks for a text or CSV file and adds its codes (the column box: 0 whole lines).
  void ImportFile();
  // Asks where to and writes the named stock's unused codes, one a line (owner-only file).
  void ExportUnused();
  // Asks, then removes the named stock's unused codes.
  void DeleteUnused();

 signals:
  // A write came back (the window has reloaded).
  void written();

 private:
  void BuildLayout();
  void FillGiven();
  // The name box's stock (GBK), or empty after telling the seller what a name must be.
  std::string ChosenStock();
  // Runs `job` on the runner; `done` (with its message, UTF-8) comes back on the UI thread.
  void Write(std::function<std::string(Ledger&)> job);
  // Writes the codes of `file` into `stock` through Write, with the summary as its message.
  void AddCodes(const std::string& stock, CodeFile file);

  Ledger& ledger_;
  const Clock& clock_;
  Runner run_;
  Dialogs& dialogs_;

  QTableWidget* 表格_库存 = nullptr;
  QLineEdit* 编辑框_库存名称 = nullptr;
  QPlainTextEdit* 编辑框_卡密 = nullptr;
  QPushButton* 按钮_添加 = nullptr;
  QPushButton* 按钮_导入 = nullptr;
  QSpinBox* 数值框_列 = nullptr;
  QPushButton* 按钮_导出未用 = nullptr;
  QPushButton* 按钮_删除未用 = nullptr;
  QSpinBox* 数值框_阈值 = nullptr;
  QSpinBox* 数值框_天数 = nullptr;
  QPushButton* 按钮_设置阈值 = nullptr;
  QLineEdit* 编辑框_查找卡密 = nullptr;
  QTableWidget* 表格_已发卡密 = nullptr;
  Worker file_reader_;  // last: a read under way ends before the window's parts go
};

}  // namespace fahuo
