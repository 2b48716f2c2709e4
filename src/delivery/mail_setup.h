#pragma once
// The two mail account checks behind the main window's test buttons, free of the toolkit:
// the window reads its fields and shows the boxes; these talk to the mail server and choose
// what is said. Both wait for the mail server: call them off the UI thread.
#include <string>
#include <string_view>

namespace fahuo {

namespace mail {
class Session;
}

// The three account fields as typed (GBK).
struct MailAccount {
  std::string server;
  std::string user;  // also the sender address
  std::string password;
};

// The port the checks pass; a port written into the server text still wins.
inline constexpr int kMailTestPort = 25;

struct ConnectionCheck {
  bool connected = false;
  std::string text;  // GBK, for the box
};

// Each check talks over the caller's own `session`, which nothing else uses meanwhile.

// Connects with `account`. Connected: "连接邮箱服务器成功". Not connected: "连接邮箱服务器失败",
// and below it why (MailFailureText).
ConnectionCheck CheckMailConnection(mail::Session& session, const MailAccount& account);

// Sends the fixed test mail from the account to `recipient`, passed on as typed (it may be
// empty or lack an at-sign; the server judges it). Returns the GBK text to show:
// "连接邮箱服务器失败" when the connect fails (nothing is sent), "发送成功，…" when the mail
// was accepted, else "发送失败" followed directly by the client's error text. A failure has
// its reason on a line below. The connection stays open afterwards.
std::string RunTestMail(mail::Session& session, const MailAccount& account,
                        const std::string& recipient);

// Sends `subject` and `body` (GBK, a rule filled with a sample order) from the account to the
// account's own address, so the seller sees what a buyer gets. The texts are RunTestMail's
// but for success: "预览邮件已发送到 <address>，请查收", and the subject on a line below.
std::string RunPreviewMail(mail::Session& session, const MailAccount& account,
                           const std::string& subject, const std::string& body);

// What kind of failure the mail client's `error` text is (see MailFailureReason).
enum class MailFailure { kAuth, kTls, kRecipient, kNoConnection, kOther };
MailFailure ClassifyMailFailure(std::string_view error);

// Why a mail action failed, in the seller's words (GBK): "认证失败（QQ 邮箱请使用授权码）",
// "无法连接服务器", "安全连接失败", "收件人被拒绝", or "邮件服务器报告错误" for anything else.
// `error` is the mail client's text (LastConnectError, or what Send returned): the server's
// reply where there was one, else the client's own message.
std::string MailFailureReason(std::string_view error);

// The reason followed by the client's text: "认证失败（QQ 邮箱请使用授权码）：535 …". One
// line when `error` is; for logs and boxes.
std::string MailFailureText(std::string_view error);

}  // namespace fahuo
