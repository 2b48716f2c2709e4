#include "app/delivery_window_adapter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/core/activity_log.h"
#include "platform/gbk.h"
#include "scripted_dialogs.h"

namespace fahuo {
namespace {

// A pass calls from its worker: every call reaches the window's hooks on the UI thread, in
// order; once the window is gone nothing runs, though the pass still holds the adapter. Its
// log lines go to the log it was given, window or not (the log file keeps them).
TEST(DeliveryWindowAdapterTest, PassCallsReachTheHooksOnTheUiThreadWhileTheWindowLives) {
  ScriptedDialogs dialogs;
  ActivityLog log;
  auto window = std::make_unique<QWidget>();
  std::vector<std::string> calls;
  bool all_on_ui = true;
  auto record = [&](std::string what) {
    all_on_ui = all_on_ui && QThread::currentThread() == qApp->thread();
    calls.push_back(std::move(what));
  };
  DeliveryReports adapter = MakeDeliveryWindow(
      window.get(), dialogs, log,
      {
          .bills_changed = [&] { record("bills"); },
          .sign_in_lapsed = [&] { record("lapsed"); },
          .sign_in_restored = [&] { record("restored"); },
          .held_payments_found = [&] { record("held"); },
          .notify = [&](const QString& title,
                        const QString& text) { record((title + text).toStdString()); },
      });
  auto pass = [&] {
    std::thread worker([&] {
      adapter.events->SignInLapsed();
      adapter.events->SignInRestored();
      adapter.events->BillsChanged();
      adapter.events->HeldPaymentsFound(2);
      adapter.view->Notify(Utf8ToGbk("标题"), Utf8ToGbk("内容"));
      adapter.view->ShowMessage(Utf8ToGbk("发送邮件失败"));
      adapter.view->AppendLog("sent\r\n");
    });
    worker.join();
    QTest::qWait(50);
  };
  pass();
  EXPECT_EQ(calls, (std::vector<std::string>{"lapsed", "restored", "bills", "held", "标题内容"}));
  EXPECT_TRUE(all_on_ui);
  EXPECT_EQ(dialogs.Texts(), std::vector<QString>{QStringLiteral("发送邮件失败")});
  EXPECT_EQ(log.Text(), "sent\r\n");

  window.reset();
  calls.clear();
  pass();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(dialogs.Texts().size(), 1u);
  EXPECT_EQ(log.Text(), "sent\r\nsent\r\n");
}

}  // namespace
}  // namespace fahuo
