#pragma once
// The body of an alert's webhook POST, shaped for the push service or group robot the URL
// belongs to, and whether the service's answer says it took the message.
#include <optional>
#include <string>
#include <string_view>

namespace fahuo {

// The services with a preset, found by the URL's host (or named in 推送格式):
//   企业微信  qyapi.weixin.qq.com/cgi-bin/webhook/send?key=…  JSON msgtype text; errcode 0
//   钉钉      oapi.dingtalk.com/robot/send?access_token=…     JSON msgtype text; errcode 0
//   飞书      open.feishu.cn/open-apis/bot/v2/hook/…          JSON msg_type text; code 0
//   Server酱  sctapi.ftqq.com/<SendKey>.send                  form title, desp; code 0
//   PushPlus  www.pushplus.plus/send?token=…                  JSON token, title, content; code 200
//   Bark      api.day.app/<key>                               JSON title, body; code 200
// Anything else is 自定义: {title} and {text} in the URL are replaced (URL-encoded) and the
// body is JSON {"title": …, "text": …}; any 2xx answer counts.
enum class PushFormat { kCustom, kWeCom, kDingTalk, kFeishu, kServerChan, kPushPlus, kBark };

// The format named in the settings (UTF-8: "企业微信", "钉钉", "飞书", "Server酱", "PushPlus",
// "Bark", "自定义"); empty or unknown: found from the URL.
PushFormat ChoosePushFormat(std::string_view url, std::string_view utf8_name);
// The preset's name for the seller (UTF-8).
const char* PushFormatName(PushFormat format);

struct WebhookRequest {
  std::string url;
  std::string content_type;
  std::string body;
};
// `title` and `text` are UTF-8.
WebhookRequest BuildWebhook(const std::string& url, PushFormat format, std::string_view title,
                            std::string_view text);

// Why a 2xx answer still refused the message (UTF-8, the service's own words cut short), or
// none when it took it. The robots answer 200 with an error code in the JSON.
std::optional<std::string> WebhookRefusal(PushFormat format, std::string_view answer);

}  // namespace fahuo
