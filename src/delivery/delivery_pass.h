#pragma once
// The delivery pass: fetch page 1 of today's records, take the bills above the first known
// 流水号 as new, and mail each one the goods of the first rule whose amount range holds its
// amount. Toolkit-free; the window is reached only through DeliveryWindow.
#include <atomic>
#include <functional>
#include <string>

namespace fahuo {

// What a pass needs of the main window. Every text is GBK. The Qt side carries each call
// to the UI thread; ShowMessage returns only once the box is closed.
class DeliveryWindow {
 public:
  virtual ~DeliveryWindow() = default;
  virtual std::string ServerText() = 0;    // 编辑框_邮箱服务器地址
  virtual std::string UserText() = 0;      // 编辑框_邮箱用户名, also the sender address
  virtual std::string PasswordText() = 0;  // 编辑框_邮箱密码
  virtual bool AllBillsSelected() = 0;     // 单选框_全部账单
  virtual bool NewBillsSelected() = 0;     // 单选框_新增账单
  virtual void AppendLog(const std::string& gbk_line) = 0;    // the line ends in CR LF
  virtual void ShowMessage(const std::string& gbk_text) = 0;  // OK only, default caption
  virtual void RefreshBillList(bool all_bills) = 0;           // redraw from AllBills or NewBills
};

// The outside world of a pass. Empty members take the real ones: HttpGet of
// CurrentRecordsAddress(), and the process-wide mail client on its default port.
struct DeliveryServices {
  std::function<std::string()> fetch_page;  // page-1 bytes, empty on failure
  std::function<bool(const std::string& server, const std::string& user,
                     const std::string& password)>
      connect;
  std::function<std::string(const std::string& subject, const std::string& body,
                            const std::string& recipient, const std::string& sender)>
      send;  // error text, empty when the mail was accepted
};

// True while a pass works; a pass that finds it set ends at once without any effect.
extern std::atomic<bool> DeliveryBusy;

// Runs one pass on the calling thread. Returns false at once when another pass holds
// DeliveryBusy, true when this pass ran. Never throws.
bool RunDeliveryPass(DeliveryWindow& window);
bool RunDeliveryPass(DeliveryWindow& window, const DeliveryServices& services);

// Bills found new by a pass whose mail connection failed. They are offered again, before
// any newer bill, by every later pass until one connects.
size_t WaitingBillCount();
void ClearWaitingBills();  // tests only

}  // namespace fahuo
