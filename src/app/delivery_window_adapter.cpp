#include "app/delivery_window_adapter.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <utility>

#include "app/core/activity_log.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

// Every call is posted to the UI thread; the pass never waits for the window (a box left
// open must not hold up the reading of pages).
class QtDeliveryWindow : public SellerView, public DeliveryEvents {
 public:
  QtDeliveryWindow(QWidget* window, Dialogs& dialogs, ActivityLog& log, DeliveryWindowHooks hooks)
      : window_(window),
        dialogs_(dialogs),
        log_(log),
        hooks_(std::make_shared<const DeliveryWindowHooks>(std::move(hooks))) {}

  void AppendLog(const std::string& gbk_line) override { log_.Append(gbk_line); }

  void ShowMessage(const std::string& gbk_text) override {
    const QString text = FromGbk(gbk_text);
    Post([text, &dialogs = dialogs_](QWidget* w, const DeliveryWindowHooks&) {
      dialogs.ShowMessage(w, text);
    });
  }
  void BillsChanged() override {
    Post([](QWidget*, const DeliveryWindowHooks& h) { Call(h.bills_changed); });
  }
  void SignInLapsed() override {
    Post([](QWidget*, const DeliveryWindowHooks& h) { Call(h.sign_in_lapsed); });
  }
  void SignInRestored() override {
    Post([](QWidget*, const DeliveryWindowHooks& h) { Call(h.sign_in_restored); });
  }
  void VerificationNeeded(bool needed) override {
    Post([needed](QWidget*, const DeliveryWindowHooks& h) {
      if (h.verification_needed) h.verification_needed(needed);
    });
  }
  void HeldPaymentsFound(size_t) override {
    Post([](QWidget*, const DeliveryWindowHooks& h) { Call(h.held_payments_found); });
  }
  void Notify(const std::string& gbk_title, const std::string& gbk_text) override {
    const QString title = FromGbk(gbk_title);
    const QString text = FromGbk(gbk_text);
    Post([title, text](QWidget*, const DeliveryWindowHooks& h) {
      if (h.notify) h.notify(title, text);
    });
  }

 private:
  static void Call(const std::function<void()>& hook) {
    if (hook) hook();
  }

  // The hooks are only read, on the UI thread, while the window lives; `this` may be gone
  // by then (the last pass let go of it), so the posted call holds its own reference.
  template <typename Fn>
  void Post(Fn fn) {
    QPointer<QWidget> w = window_;
    if (!w) return;
    PostToUi(w.data(), [w, hooks = hooks_, fn] {
      if (w) fn(w.data(), *hooks);
    });
  }

  QPointer<QWidget> window_;
  Dialogs& dialogs_;
  ActivityLog& log_;
  std::shared_ptr<const DeliveryWindowHooks> hooks_;
};

}  // namespace

DeliveryReports MakeDeliveryWindow(QWidget* window, Dialogs& dialogs, ActivityLog& log,
                                   DeliveryWindowHooks hooks) {
  auto both = std::make_shared<QtDeliveryWindow>(window, dialogs, log, std::move(hooks));
  return {both, both};
}

}  // namespace fahuo
