#include "alerts/push_webhook.h"

#include <algorithm>
#include <initializer_list>

#include "delivery/reply_words.h"
#include "platform/json_text.h"

namespace fahuo {
namespace {

std::string Json(std::string_view utf8) {
  std::string out;
  AppendJsonString(out, utf8);
  return out;
}

std::string UrlEncode(std::string_view utf8) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

// The host of an http(s) URL, lower-case.
std::string Host(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
  rest = rest.substr(0, rest.find(':'));
  return AsciiLower(rest);
}

// The value of `name` in the URL's query, as written.
std::string QueryValue(std::string_view url, std::string_view name) {
  const size_t q = url.find('?');
  if (q == std::string_view::npos) return {};
  std::string_view query = url.substr(q + 1);
  query = query.substr(0, query.find('#'));
  while (!query.empty()) {
    const std::string_view pair = query.substr(0, query.find('&'));
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=') {
      return std::string(pair.substr(name.size() + 1));
    }
    if (pair.size() == query.size()) break;
    query.remove_prefix(pair.size() + 1);
  }
  return {};
}

std::string ReplaceAll(std::string s, std::string_view from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

// The JSON answer without blanks outside strings, so `"errcode": 0` reads as `"errcode":0`.
std::string Compact(std::string_view json) {
  std::string out;
  bool in_string = false;
  for (size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (in_string) {
      out.push_back(c);
      if (c == '\\' && i + 1 < json.size()) out.push_back(json[++i]);
      if (c == '"') in_string = false;
    } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
      out.push_back(c);
      if (c == '"') in_string = true;
    }
  }
  return out;
}

bool HasField(const std::string& compact, std::string_view field, std::string_view value) {
  for (const char* end : {",", "}"}) {
    if (compact.find("\"" + std::string(field) + "\":" + std::string(value) + end) !=
        std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

PushFormat ChoosePushFormat(std::string_view url, std::string_view name) {
  const struct {
    const char* name;
    PushFormat format;
  } named[] = {{"企业微信", PushFormat::kWeCom},    {"钉钉", PushFormat::kDingTalk},
               {"飞书", PushFormat::kFeishu},       {"Server酱", PushFormat::kServerChan},
               {"PushPlus", PushFormat::kPushPlus}, {"Bark", PushFormat::kBark},
               {"自定义", PushFormat::kCustom}};
  for (const auto& n : named) {
    if (name == n.name) return n.format;
  }
  const std::string host = Host(url);
  if (host == "qyapi.weixin.qq.com") return PushFormat::kWeCom;
  if (host == "oapi.dingtalk.com") return PushFormat::kDingTalk;
  if (host == "open.feishu.cn" || host == "open.larksuite.com") return PushFormat::kFeishu;
  if (host == "sctapi.ftqq.com" || host.ends_with(".push.ft07.com")) return PushFormat::kServerChan;
  if (host == "www.pushplus.plus" || host == "pushplus.plus") return PushFormat::kPushPlus;
  if (host == "api.day.app") return PushFormat::kBark;
  return PushFormat::kCustom;
}

const char* PushFormatName(PushFormat format) {
  switch (format) {
    case PushFormat::kCustom:
      return "自定义";
    case PushFormat::kWeCom:
      return "企业微信群机器人";
    case PushFormat::kDingTalk:
      return "钉钉群机器人";
    case PushFormat::kFeishu:
      return "飞书群机器人";
    case PushFormat::kServerChan:
      return "Server酱";
    case PushFormat::kPushPlus:
      return "PushPlus";
    case PushFormat::kBark:
      return "Bark";
  }
  return "";
}

WebhookRequest BuildWebhook(const std::string& url, PushFormat format, std::string_view title,
                            std::string_view text) {
  const std::string both = std::string(title) + "\n" + std::string(text);
  const std::string json = "application/json; charset=utf-8";
  switch (format) {
    case PushFormat::kWeCom:
    case PushFormat::kDingTalk:
      return {url, json, "{\"msgtype\":\"text\",\"text\":{\"content\":" + Json(both) + "}}"};
    case PushFormat::kFeishu:
      return {url, json, "{\"msg_type\":\"text\",\"content\":{\"text\":" + Json(both) + "}}"};
    case PushFormat::kServerChan:
      return {url, "application/x-www-form-urlencoded",
              "title=" + UrlEncode(title) + "&desp=" + UrlEncode(text)};
    case PushFormat::kPushPlus:
      return {url, json,
              "{\"token\":" + Json(QueryValue(url, "token")) + ",\"title\":" + Json(title) +
                  ",\"content\":" + Json(text) + ",\"template\":\"txt\"}"};
    case PushFormat::kBark:
      return {url, json, "{\"title\":" + Json(title) + ",\"body\":" + Json(text) + "}"};
    case PushFormat::kCustom:
      break;
  }
  std::string target = ReplaceAll(url, "{title}", UrlEncode(title));
  target = ReplaceAll(target, "{text}", UrlEncode(text));
  return {target, json, "{\"title\":" + Json(title) + ",\"text\":" + Json(text) + "}"};
}

std::optional<std::string> WebhookRefusal(PushFormat format, std::string_view answer) {
  const std::string compact = Compact(answer);
  bool ok = true;
  switch (format) {
    case PushFormat::kWeCom:
    case PushFormat::kDingTalk:
      ok = HasField(compact, "errcode", "0");
      break;
    case PushFormat::kFeishu:
      ok = HasField(compact, "code", "0") || HasField(compact, "StatusCode", "0");
      break;
    case PushFormat::kServerChan:
      ok = HasField(compact, "code", "0");
      break;
    case PushFormat::kPushPlus:
    case PushFormat::kBark:
      ok = HasField(compact, "code", "200");
      break;
    case PushFormat::kCustom:
      break;
  }
  if (ok) return std::nullopt;
  size_t n = std::min<size_t>(answer.size(), 200);
  while (n < answer.size() && n > 0 && (static_cast<unsigned char>(answer[n]) & 0xC0) == 0x80) --n;
  std::string why(answer.substr(0, n));
  // Keeps the answer on one line in the log.
  for (char& c : why) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return why;
}

}  // namespace fahuo
