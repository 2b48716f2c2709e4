#include "capture/qt/sign_in_watch.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <functional>

#include "capture/bill_list.h"
#include "capture/navigation.h"
#include "capture/qt/cookie_mirror.h"
#include "capture/records_address.h"
#include "delivery/shop.h"
#include "platform/http_client.h"
#include "test_support.h"

namespace fahuo {
namespace {

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  for (int waited = 0; !done(); waited += 50) {
    if (waited >= timeout_ms) return false;
    QTest::qWait(50);
  }
  return true;
}

struct TitleCase {
  const char* name;
  const char* title;
  bool sign_in;
};

class SignInTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(SignInTitleTest, OnlyTheExactTitle) {
  EXPECT_EQ(SignInWatch::IsSignInTitle(QString::fromUtf8(GetParam().title)), GetParam().sign_in);
}

INSTANTIATE_TEST_SUITE_P(Titles, SignInTitleTest,
                         ::testing::Values(TitleCase{"SignInCentre", "登录中心 － 支付宝", true},
                                           TitleCase{"AsciiHyphen", "登录中心 - 支付宝", false},
                                           TitleCase{"NoSpaces", "登录中心－支付宝", false},
                                           TitleCase{"TrailingSpace", "登录中心 － 支付宝 ", false},
                                           TitleCase{"SignInForm", "登录 - 支付宝", false},
                                           TitleCase{"Empty", "", false}),
                         [](const auto& c) { return std::string(c.param.name); });

// A window's worth of the controls the watch drives, on a profile of its own.
class SignInWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shop_->Open(dir_.File("fahuo.db"));
    host_.resize(800, 600);
    view_ = new QWebEngineView(&host_);
    view_->setPage(new QWebEnginePage(&profile_, view_));
    list_ = new QTreeWidget(&host_);
    list_->hide();
    watch_ = new SignInWatch(view_, list_, &host_);
    watch_->load_pages = [this](RecordPagesSink& sink) {
      if (shop_->baseline().Begin()) shop_->LoadBaseline(sink);
    };
    host_.show();
  }

  // Shows a page with `title` and waits until the browser reports it.
  void ShowTitle(const QString& title) {
    QSignalSpy titles(view_, &QWebEngineView::titleChanged);
    view_->setHtml("<html><head><title>" + title + "</title></head><body>x</body></html>");
    auto seen = [&] {
      for (const QList<QVariant>& args : titles) {
        if (args.at(0).toString() == title) return true;
      }
      return false;
    };
    ASSERT_TRUE(WaitUntil(seen, 20000));
    QTest::qWait(100);  // let any reaction to the title run
  }

  testing::TempDir dir_;
  std::unique_ptr<Shop> shop_ =
      std::make_unique<Shop>();  // outlives the watch and its loading thread
  QWebEngineProfile profile_;    // outlives the page, which the host's destruction removes
  QWidget host_;
  QWebEngineView* view_ = nullptr;
  QTreeWidget* list_ = nullptr;
  SignInWatch* watch_ = nullptr;
};

TEST_F(SignInWatchTest, TitleWithAsciiHyphenLeavesTheBrowser) {
  ShowTitle(QString::fromUtf8("登录中心 - 支付宝"));
  EXPECT_FALSE(view_->isHidden());
  EXPECT_TRUE(list_->isHidden());
  EXPECT_FALSE(shop_->baseline().Loaded());
}

TEST_F(SignInWatchTest, SigningInShowsTheBillListFilledFromEveryPage) {
  testing::ChildProcess service;
  int port = testing::StartPythonService(service, "fake_records.py",
                                         {"--port", "0", "--pages", "2", "--per-page", "3"});
  ASSERT_NE(port, 0);
  const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
  ShopOptions options;
  options.records_base = base.toStdString();
  options.page_gap_ms = 0;
  shop_ = std::make_unique<Shop>(nullptr, options);
  shop_->Open(dir_.File("fahuo.db"));
  MirrorCookies(&profile_, shop_->http());
  QSignalSpy progress(watch_, &SignInWatch::progress);
  QSignalSpy loaded(watch_, &SignInWatch::pagesLoaded);

  // The records address first shows the sign-in form, whose title is not the one.
  QSignalSpy load_finished(view_, &QWebEngineView::loadFinished);
  view_->setUrl(QUrl(base + "/record/standard.htm"));
  ASSERT_TRUE(load_finished.wait(20000));
  EXPECT_FALSE(view_->isHidden());

  // The seller signs in; the service lands on the sign-in centre.
  view_->page()->runJavaScript("document.getElementById('J-login-btn').click();");
  ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, 30000));

  EXPECT_TRUE(view_->isHidden());
  EXPECT_FALSE(list_->isHidden());
  EXPECT_EQ(view_->url(), QUrl("about:blank"));
  EXPECT_EQ(shop_->AllBills().Count(), 6u) << "the pages were read with the browser's cookie";
  ASSERT_EQ(progress.count(), 2);
  EXPECT_EQ(progress.at(1).at(0).toInt(), 2);
  EXPECT_EQ(progress.at(1).at(1).toULongLong(), 6u);

  // The title coming back later repeats the screen changes but loads nothing again.
  view_->show();
  list_->hide();
  ShowTitle(QString::fromUtf8("登录中心 － 支付宝"));
  EXPECT_TRUE(view_->isHidden());
  EXPECT_FALSE(list_->isHidden());
  QTest::qWait(300);
  EXPECT_EQ(loaded.count(), 1);
  EXPECT_EQ(shop_->AllBills().Count(), 6u);
}

}  // namespace
}  // namespace fahuo
