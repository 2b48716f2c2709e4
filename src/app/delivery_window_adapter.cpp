#include "app/delivery_window_adapter.h"

#include <QPointer>

#include "app/core/activity_log.h"
#include "app/main_window.h"
#include "app/support/dialogs.h"
#include "app/support/qt_text.h"
#include "app/support/ui_thread.h"
#include "capture/bill_list.h"
#include "capture/qt/bill_list_view.h"

namespace fahuo {
namespace {

class QtDeliveryWindow : public DeliveryWindow {
 public:
  explicit QtDeliveryWindow(MainWindow* window) : window_(window) {}

  std::string ServerText() override { return ReadEdit(&MainWindow::编辑框_邮箱服务器地址); }
  std::string UserText() override { return ReadEdit(&MainWindow::编辑框_邮箱用户名); }
  std::string PasswordText() override { return ReadEdit(&MainWindow::编辑框_邮箱密码); }

  bool AllBillsSelected() override { return ReadRadio(&MainWindow::单选框_全部账单); }
  bool NewBillsSelected() override { return ReadRadio(&MainWindow::单选框_新增账单); }

  void AppendLog(const std::string& gbk_line) override { TheActivityLog().Append(gbk_line); }

  void ShowMessage(const std::string& gbk_text) override {
    QPointer<MainWindow> w = window_;
    if (!w) return;
    const QString text = FromGbk(gbk_text);
    RunOnUi(w.data(), [w, text] {
      if (w) fahuo::ShowMessage(w, text);
    });
  }

  void RefreshBillList(bool all_bills) override {
    QPointer<MainWindow> w = window_;
    if (!w) return;
    RunOnUi(w.data(), [w, all_bills] {
      if (w) fahuo::RefreshBillList(w->超级列表框1, all_bills ? AllBills() : NewBills());
    });
  }

 private:
  std::string ReadEdit(QLineEdit* MainWindow::*edit) {
    QPointer<MainWindow> w = window_;
    if (!w) return {};
    std::string out;
    RunOnUi(w.data(), [&] {
      if (w) out = ToGbk((w->*edit)->text());
    });
    return out;
  }

  bool ReadRadio(QRadioButton* MainWindow::*radio) {
    QPointer<MainWindow> w = window_;
    if (!w) return false;
    bool out = false;
    RunOnUi(w.data(), [&] {
      if (w) out = (w->*radio)->isChecked();
    });
    return out;
  }

  QPointer<MainWindow> window_;
};

}  // namespace

std::shared_ptr<DeliveryWindow> MakeDeliveryWindow(MainWindow* window) {
  return std::make_shared<QtDeliveryWindow>(window);
}

}  // namespace fahuo
