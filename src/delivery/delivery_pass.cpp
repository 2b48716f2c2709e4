#include "delivery/delivery_pass.h"

#include <mutex>
#include <vector>

#include "capture/bill_list.h"
#include "capture/navigation.h"
#include "capture/record_scraper.h"
#include "delivery/amount.h"
#include "delivery/recipient.h"
#include "platform/gbk.h"
#include "platform/http_client.h"
#include "platform/mail_client.h"
#include "rules/delivery_rule.h"
#include "rules/rule_entry.h"

namespace fahuo {

std::atomic<bool> DeliveryBusy{false};

namespace {

std::mutex g_waiting_mutex;
std::vector<BillRecord> g_waiting;  // see WaitingBillCount()

const std::string& Eol() {
  static const std::string eol = "\r\n";
  return eol;
}

std::string FetchTodaysPage() {
  std::string address = CurrentRecordsAddress();
  return address.empty() ? std::string() : HttpGet(address);
}

DeliveryServices WithDefaults(const DeliveryServices& given) {
  DeliveryServices s = given;
  if (!s.fetch_page) s.fetch_page = FetchTodaysPage;
  if (!s.connect) {
    s.connect = [](const std::string& server, const std::string& user,
                   const std::string& password) { return mail::Connect(server, user, password); };
  }
  if (!s.send) s.send = mail::Send;
  return s;
}

// Walks the scraped rows from the top until the first 流水号 that AllBills holds. Each new
// bill goes into AllBills at once, so a repeated 流水号 further down stops the walk too.
std::vector<BillRecord> TakeNewBills(const std::vector<BillRecord>& scraped) {
  std::vector<BillRecord> fresh;
  for (const BillRecord& bill : scraped) {
    if (AllBills().ContainsSerial(bill.流水号)) break;
    NewBills().Append(bill);
    AllBills().PushFront(bill);
    fresh.push_back(bill);
  }
  return fresh;
}

// Mails `bill` by the first rule whose range holds its amount, logging each step.
void DeliverBill(DeliveryWindow& window, const DeliveryServices& services, const BillRecord& bill) {
  window.AppendLog(FAHUO_GBK("发现新账单") + Eol());
  window.AppendLog(FAHUO_GBK("对方是：") + bill.对方 + Eol());
  const float amount = AmountValue(bill.金额);
  const std::string amount_line =
      FAHUO_GBK("对方金额是：") + AmountToText(amount) + FAHUO_GBK(" 正在为您匹配发件规则") + Eol();
  RuleListSnapshot rules = CurrentRules();  // taken per bill: a save may replace the list
  for (const DeliveryRule& rule : *rules) {
    window.AppendLog(amount_line);
    if (amount > rule.maximum || amount < rule.minimum) continue;

    Recipient recipient = RecipientFor(bill.名称, bill.备注);
    switch (recipient.kind) {
      case Recipient::Kind::kSkipNoNote:
        window.AppendLog(FAHUO_GBK("对方为留言，自动跳过发送邮件") + Eol());
        return;
      case Recipient::Kind::kSkipNotQq:
        window.AppendLog(FAHUO_GBK("对方留言的不是QQ号码，自动跳过不发送邮件") + Eol());
        return;
      case Recipient::Kind::kSkipInvalidAddress:
        window.AppendLog(InvalidAddressSkipText() + Eol());
        return;
      case Recipient::Kind::kQqNumber:
        window.AppendLog(FAHUO_GBK("对方留言的不是邮箱信息，自动添加 ") + "@" +
                         std::string(kQqMailDomain) + Eol());
        break;
      case Recipient::Kind::kMailAddress:
        break;
    }
    window.AppendLog(FAHUO_GBK("发送的邮箱地址是：") + recipient.address + Eol());
    std::string error =
        services.send(rule.subject, rule.body, recipient.address, window.UserText());
    if (error.empty()) {
      window.AppendLog(FAHUO_GBK("发送邮件成功") + Eol());
    } else {
      window.AppendLog(FAHUO_GBK("发送失败，错误：") + error + Eol());
    }
    return;
  }
}

// Offers the waiting bills, then this pass's new ones, all over one connection. When the
// server cannot be reached, every one of them waits for the next pass: a paid buyer must
// not lose the goods because the mailbox was down for a moment.
void DeliverAll(DeliveryWindow& window, const DeliveryServices& services,
                const std::vector<BillRecord>& fresh) {
  std::vector<BillRecord> offered;
  {
    std::lock_guard lock(g_waiting_mutex);
    offered.swap(g_waiting);
  }
  if (offered.empty() && fresh.empty()) return;
  offered.insert(offered.end(), fresh.begin(), fresh.end());

  std::string server = window.ServerText();
  std::string user = window.UserText();
  std::string password = window.PasswordText();
  if (!services.connect(server, user, password)) {
    {
      std::lock_guard lock(g_waiting_mutex);
      g_waiting = std::move(offered);
    }
    // Retries of waiting bills alone stay quiet: the box was shown when they were found.
    if (!fresh.empty()) window.ShowMessage(FAHUO_GBK("连接邮箱失败"));
    return;
  }
  for (const BillRecord& bill : offered) DeliverBill(window, services, bill);
}

void RunPass(DeliveryWindow& window, const DeliveryServices& services) {
  std::vector<BillRecord> scraped;
  std::vector<BillRecord> fresh;
  bool adopted = false;
  if (ScrapeRecordTable(services.fetch_page(), scraped)) {
    adopted = TakeMissingBaseline(scraped);
    if (!adopted) fresh = TakeNewBills(scraped);
  }
  DeliverAll(window, services, fresh);
  if (adopted && window.AllBillsSelected()) window.RefreshBillList(true);
  if (fresh.empty()) return;
  if (window.AllBillsSelected()) window.RefreshBillList(true);
  if (window.NewBillsSelected()) window.RefreshBillList(false);
}

// Clears DeliveryBusy on every way out of a pass.
class BusyRelease {
 public:
  ~BusyRelease() { DeliveryBusy.store(false); }
};

}  // namespace

bool RunDeliveryPass(DeliveryWindow& window) { return RunDeliveryPass(window, {}); }

bool RunDeliveryPass(DeliveryWindow& window, const DeliveryServices& services) {
  if (DeliveryBusy.exchange(true)) return false;
  BusyRelease release;
  try {
    RunPass(window, WithDefaults(services));
  } catch (...) {
    // A pass runs on a thread of its own; nothing may escape it. The next tick tries again.
  }
  return true;
}

size_t WaitingBillCount() {
  std::lock_guard lock(g_waiting_mutex);
  return g_waiting.size();
}

void ClearWaitingBills() {
  std::lock_guard lock(g_waiting_mutex);
  g_waiting.clear();
}

}  // namespace fahuo
