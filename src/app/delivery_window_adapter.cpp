#include "app/delivery_window_adapter.h"

#include <QPointer>

#include "app/core/activity_log.h"
#include "app/main_window.h"
#include "app/tray.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

// Every call is posted to the UI thread; the pass never waits for the window (a box left
// open must not hold up the reading of pages).
class QtDeliveryWindow : public DeliveryWindow {
 public:
  explicit QtDeliveryWindow(MainWindow* window) : window_(window) {}

  void AppendLog(const std::string& gbk_line) override { TheActivityLog().Append(gbk_line); }

  void ShowMessage(const std::string& gbk_text) override {
    const QString text = FromGbk(gbk_text);
    Post([text](MainWindow* w) { fahuo::ShowMessage(w, text); });
  }
  void BillsChanged() override {
    Post([](MainWindow* w) { w->RedrawSelectedBills(); });
  }
  void SignInLapsed() override {
    Post([](MainWindow* w) { w->OnSignInLapsed(); });
  }
  void SignInRestored() override {
    Post([](MainWindow* w) { w->OnSignInRestored(); });
  }
  void HeldPaymentsFound(size_t) override {
    Post([](MainWindow* w) { w->AskAboutHeldPayments(); });
  }
  void Notify(const std::string& gbk_title, const std::string& gbk_text) override {
    const QString title = FromGbk(gbk_title);
    const QString text = FromGbk(gbk_text);
    Post([title, text](MainWindow* w) { w->tray()->Notify(title, text); });
  }

 private:
  template <typename Fn>
  void Post(Fn fn) {
    QPointer<MainWindow> w = window_;
    if (!w) return;
    PostToUi(w.data(), [w, fn] {
      if (w) fn(w.data());
    });
  }

  QPointer<MainWindow> window_;
};

}  // namespace

std::shared_ptr<DeliveryWindow> MakeDeliveryWindow(MainWindow* window) {
  return std::make_shared<QtDeliveryWindow>(window);
}

}  // namespace fahuo
