// A headless run of fahuo's delivery for the crash test: opens the ledger in a data folder,
// reads the baseline from the records service, delivers held payments, then runs passes
// until it is killed. Prints "READY" once the baseline is in.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/records_address.h"
#include "delivery/shop.h"
#include "platform/gbk.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"
#include "rules/delivery_rule.h"

namespace {

class QuietWindow : public fahuo::SellerView, public fahuo::DeliveryEvents {
 public:
  void AppendLog(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void BillsChanged() override {}
  void SignInLapsed() override {}
  void SignInRestored() override {}
  void HeldPaymentsFound(size_t) override {}
};

class NullSink : public fahuo::RecordPagesSink {
 public:
  void Progress(int, size_t) override {}
  void Finished() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: crash_child DATA_DIR RECORDS_BASE SMTP_SERVER\n");
    return 1;
  }
  fahuo::Shop shop(nullptr, {.records_base = argv[2],
                             .http = {.connect_ms = 2000, .total_ms = 5000},
                             .mail = {.step_ms = 2000, .total_ms = 5000}});
  // Each mail hands out a code: the test checks that none is ever given twice.
  shop.rules().Replace({{0, 1000, fahuo::Utf8ToGbk("教程"), fahuo::Utf8ToGbk("body {卡密:k}")}});
  if (!shop.Open(std::string(argv[1]) + "/fahuo.db").ok) return 1;
  std::vector<std::string> codes;
  for (int i = 0; i < 200; ++i) codes.push_back("CK-" + std::to_string(i) + ".");
  if (!shop.ledger().AddCodes("k", codes).ok) return 1;  // again at each start: all repeats
  NullSink sink;
  shop.baseline().Begin();
  shop.LoadBaseline(sink);
  shop.baseline().ResolveHeld(true);  // the seller answers Yes
  std::printf("READY 1\n");
  std::fflush(stdout);
  QuietWindow window;
  const fahuo::MailAccount account{argv[3], "seller@example.com", "secret"};
  // Reading and mailing on threads of their own, as the program runs them.
  std::thread reader([&] {
    for (;;) {
      shop.ReadRecords(window);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  for (;;) {
    shop.DeliverDue(account, window);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
