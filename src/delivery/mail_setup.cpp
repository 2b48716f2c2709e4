#include "delivery/mail_setup.h"

#include "platform/gbk.h"
#include "platform/mail_client.h"

namespace fahuo {

void RunMailConnectionTest(const MailAccount& account,
                           const std::function<void(const std::string&)>& show) {
  if (!mail::Connect(account.server, kMailTestPort, account.user, account.password)) {
    show(FAHUO_GBK("连接邮箱服务器失败"));
    return;
  }
  show(FAHUO_GBK("连接邮箱服务器成功"));
  mail::Disconnect();
}

std::string RunTestMail(const MailAccount& account, const std::string& recipient) {
  if (!mail::Connect(account.server, kMailTestPort, account.user, account.password)) {
    return FAHUO_GBK("连接邮箱服务器失败");
  }
  const std::string error =
      mail::Send(FAHUO_GBK("自动发货测试邮件"), FAHUO_GBK("测试成功，可以正常使用。"), recipient,
                 account.user);
  if (error.empty()) return FAHUO_GBK("发送成功，请打开邮件查看测试邮件是否收到");
  return FAHUO_GBK("发送失败") + error;
}

}  // namespace fahuo
