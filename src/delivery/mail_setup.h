#pragma once
// The two mail account checks behind the main window's test buttons, free of the toolkit:
// the window reads its fields and shows the boxes; these talk to the mail server and choose
// what is said.
#include <functional>
#include <string>

namespace fahuo {

// The three account fields as typed (GBK).
struct MailAccount {
  std::string server;
  std::string user;  // also the sender address
  std::string password;
};

// The port the checks pass; a port written into the server text still wins.
inline constexpr int kMailTestPort = 25;

// Connects with `account`. On success shows "连接邮箱服务器成功" through `show` and
// disconnects once `show` has returned (the box was closed); on failure shows
// "连接邮箱服务器失败". `show` gets GBK text.
void RunMailConnectionTest(const MailAccount& account,
                           const std::function<void(const std::string&)>& show);

// Sends the fixed test mail from the account to `recipient`, passed on as typed (it may be
// empty or lack an at-sign; the server judges it). Returns the GBK text to show:
// "连接邮箱服务器失败" when the connect fails (nothing is sent), "发送成功，…" when the mail
// was accepted, else "发送失败" followed directly by the client's error text. The
// connection stays open afterwards.
std::string RunTestMail(const MailAccount& account, const std::string& recipient);

}  // namespace fahuo
