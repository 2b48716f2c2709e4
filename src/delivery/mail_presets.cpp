#include "delivery/mail_presets.h"

namespace fahuo {
namespace {

constexpr MailPreset kPresets[] = {
    {"QQ 邮箱", "smtp.qq.com", 465, 10},         {"163 邮箱", "smtp.163.com", 465, 6},
    {"126 邮箱", "smtp.126.com", 465, 6},        {"新浪邮箱", "smtp.sina.com", 465},
    {"阿里企业邮", "smtp.qiye.aliyun.com", 465}, {"腾讯企业邮", "smtp.exmail.qq.com", 465},
    {"Outlook", "smtp.office365.com", 587},      {"Gmail", "smtp.gmail.com", 465},
};

constexpr std::string_view kTips =
    "通过SMTP发信，无需验证码!发信效果虽差，但是能满足虚拟产品自动发货的需求，据我所知大部分人卖"
    "虚拟产品停留在一天几单或者几天一单的情况下，利用SMTP发信完全可以满足要求。订单累计多的每天有几"
    "十"
    "上百单的可以用企业QQ邮箱来发信满足要求。\n"
    "\n"
    "发信服务器：点输入框右端的箭头可直接选常用邮箱，也可照旧手写“服务器:端口”。\n"
    "· QQ 邮箱 smtp.qq.com:465\n"
    "· 163 邮箱 smtp.163.com:465，126 邮箱 smtp.126.com:465\n"
    "· 新浪邮箱 smtp.sina.com:465\n"
    "· 腾讯企业邮 smtp.exmail.qq.com:465，阿里企业邮 smtp.qiye.aliyun.com:465\n"
    "· Outlook smtp.office365.com:587，Gmail smtp.gmail.com:465\n"
    "\n"
    "发信邮箱：填完整的邮箱地址，例如 12345678@qq.com。\n"
    "\n"
    "邮箱密码：QQ 邮箱和 163/126 邮箱要填“授权码”，不是登录密码。\n"
    "· QQ 邮箱：网页登录 mail.qq.com → 设置 → 账户（新版为“账号与安全”），找到"
    "“POP3/IMAP/SMTP/Exchange/CardDAV/CalDAV服务”，开启 SMTP 服务，按提示用手机验证后生成授权码。\n"
    "· 163/126 邮箱：网页登录 → 设置 → POP3/SMTP/IMAP，开启 SMTP 服务，按提示验证后得到授权码"
    "（只显示一次，请记下）。\n"
    "· 新浪邮箱、企业邮箱也要先在网页邮箱的设置里开启 SMTP 服务；Gmail "
    "要开启两步验证后使用“应用专用密码”。\n"
    "\n"
    "端口：写在服务器后面，例如 smtp.qq.com:465。465 为加密连接（SSL），587 为先连接再加密"
    "（STARTTLS）。不写端口时使用 25 端口，而很多宽带和云服务器封锁了 25 端口，连接会失败，"
    "请写上 465 或 587。";

}  // namespace

std::span<const MailPreset> MailPresets() { return kPresets; }

std::string_view MailSetupTips() { return kTips; }

int PresetPerMinute(std::string_view server) {
  std::string host(server.substr(0, server.find(':')));
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == ' ') c = '\0';
  }
  host = host.c_str();  // blanks end it
  for (const MailPreset& p : kPresets) {
    if (p.host == host) return p.per_minute;
  }
  return 0;
}

std::string ServerText(const MailPreset& preset) {
  return std::string(preset.host) + ":" + std::to_string(preset.port);
}

}  // namespace fahuo
