#include "capture/qt/sign_in_watch.h"

#include <QCoreApplication>
#include <QUrl>
#include <QWebEngineView>

#include "capture/navigation.h"
#include "platform/gbk.h"
#include "platform/worker.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace fahuo {
namespace {

// Carries the loading thread's reports to the UI thread. The watch may be gone by then
// (window closed during a long load), so each report checks it there.
class UiSink : public RecordPagesSink {
 public:
  explicit UiSink(QPointer<SignInWatch> watch) : watch_(std::move(watch)) {}

  void Progress(int pages_read, size_t bills_found) override {
    QPointer<SignInWatch> watch = watch_;
    const qulonglong bills = bills_found;
    PostToUi(QCoreApplication::instance(), [watch, pages_read, bills] {
      if (watch) emit watch->progress(pages_read, bills);
    });
  }

  void Finished() override {
    QPointer<SignInWatch> watch = watch_;
    PostToUi(QCoreApplication::instance(), [watch] {
      if (watch) emit watch->pagesLoaded();
    });
  }

 private:
  QPointer<SignInWatch> watch_;
};

}  // namespace

SignInWatch::SignInWatch(QWebEngineView* 超文本浏览框1, QWidget* 超级列表框1, QObject* parent)
    : QObject(parent),
      browser_(超文本浏览框1),
      bill_list_(超级列表框1),
      loader_(std::make_unique<Worker>()) {
  connect(超文本浏览框1, &QWebEngineView::titleChanged, this, [this] { WatchSignIn(); });
}

SignInWatch::~SignInWatch() { Stop(); }

void SignInWatch::Stop() { loader_->Stop(); }

bool SignInWatch::IsSignInTitle(const QString& title) {
  return ToGbk(title) == FAHUO_GBK("登录中心 － 支付宝");
}

void SignInWatch::ShowSignIn(const QString& address) {
  if (bill_list_) bill_list_->hide();
  if (!browser_) return;
  browser_->show();
  browser_->setUrl(QUrl(address));
}

void SignInWatch::WatchSignIn() {
  if (!browser_ || !IsSignInTitle(browser_->title())) return;
  browser_->stop();
  browser_->setUrl(QUrl(QStringLiteral("about:blank")));
  browser_->hide();
  if (bill_list_) bill_list_->show();
  // The pages are read once per run; after a lapse the run goes on without a new baseline.
  if (loading_started_ || !load_pages) return;
  loading_started_ = true;
  loader_->TryPost(
      [load = load_pages, sink = UiSink(QPointer<SignInWatch>(this))]() mutable { load(sink); });
}

}  // namespace fahuo
