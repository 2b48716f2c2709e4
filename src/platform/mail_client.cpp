#include "platform/mail_client.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include "platform/curl_sockets.h"
#include "platform/gbk.h"
#include "platform/mail_message.h"

namespace fahuo::mail {
namespace {

struct Account {
  std::string url;   // smtp://host:port/ or smtps://host:port/
  std::string user;  // UTF-8, as SASL wants it
  std::string password;
  long use_ssl = CURLUSESSL_TRY;
};

// More than a reply's wording ever needs: a server that keeps talking is not kept whole.
constexpr size_t kMaxReplyBytes = 8192;

// The server's replies as libcurl's debug callback sees them, line by line.
struct Transcript {
  std::string partial;     // bytes not yet ended by LF
  std::string pending;     // a multi-line reply in progress
  std::string last_reply;  // the last complete reply but 221, continuation lines joined
  bool logged_in = false;

  void Clear() { *this = Transcript{}; }
  void AddLine(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    const bool continued = line.size() >= 4 && line[3] == '-';
    if (pending.empty()) {
      pending = line.substr(0, kMaxReplyBytes);
    } else if (pending.size() < kMaxReplyBytes) {
      pending += ' ';
      pending += line.size() >= 4 ? line.substr(4, kMaxReplyBytes) : line;
    }
    if (continued) return;
    // The goodbye to a QUIT after a refusal must not hide the refusal.
    if (pending.rfind("221", 0) != 0) last_reply = std::move(pending);
    pending.clear();
    if (last_reply.rfind("235", 0) == 0) logged_in = true;
  }
  int LastCode() const { return ReplyCode(last_reply); }
};

// libcurl's own one-time set-up: done once, before the first handle, whichever thread asks.
void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// One session's connection. The mutex keeps Abort (any thread) apart from the socket
// bookkeeping; the exchange itself runs on the owner's thread only.
struct Session::State {
  Options options;
  CURL* handle = nullptr;
  std::optional<Account> account;  // of the last successful Connect
  std::string last_connect_error;
  // Live as long as the handle, since libcurl may report on a QUIT at any cleanup.
  Transcript transcript;
  char errbuf[CURL_ERROR_SIZE] = {};

  CurlSockets sockets;
  bool handed_over = false;  // the last Send's message went out whole, and no reply came
};

namespace {

using State = Session::State;

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* t = static_cast<Transcript*>(user);
  t->partial.append(data, std::min(size, kMaxReplyBytes));
  size_t nl;
  while ((nl = t->partial.find('\n')) != std::string::npos) {
    t->AddLine(t->partial.substr(0, nl));
    t->partial.erase(0, nl + 1);
  }
  if (t->partial.size() > kMaxReplyBytes) t->partial.resize(kMaxReplyBytes);
  return 0;
}

size_t Discard(char*, size_t size, size_t n, void*) { return size * n; }

struct Source {
  const std::string* text;
  size_t pos = 0;
};

size_t OnRead(char* buffer, size_t size, size_t n, void* user) {
  auto* src = static_cast<Source*>(user);
  size_t count = std::min(size * n, src->text->size() - src->pos);
  std::memcpy(buffer, src->text->data() + src->pos, count);
  src->pos += count;
  return count;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool HasBreakOrNul(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host.rfind("127.", 0) == 0 || host == "::1";
}

bool ParsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

// "host", "host:port", "[v6]:port", optionally behind smtp:// or smtps://.
std::optional<Account> MakeAccount(const std::string& server_gbk, int port, const std::string& user,
                                   const std::string& password) {
  std::string server = GbkToUtf8(server_gbk);
  while (!server.empty() && IsBlank(server.back())) server.pop_back();
  server.erase(0, std::find_if_not(server.begin(), server.end(), IsBlank) - server.begin());
  bool implicit_tls = false;
  if (server.rfind("smtps://", 0) == 0) {
    implicit_tls = true;
    server.erase(0, 8);
  } else if (server.rfind("smtp://", 0) == 0) {
    server.erase(0, 7);
  }
  if (!server.empty() && server.back() == '/') server.pop_back();

  std::string host = server;
  std::string port_text;
  if (!server.empty() && server.front() == '[') {
    size_t close = server.find(']');
    if (close == std::string::npos) return std::nullopt;
    host = server.substr(1, close - 1);
    std::string rest = server.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port_text = rest.substr(1);
      if (port_text.empty()) return std::nullopt;
    }
  } else if (std::count(server.begin(), server.end(), ':') == 1) {
    host = server.substr(0, server.find(':'));
    port_text = server.substr(server.find(':') + 1);
    if (port_text.empty()) return std::nullopt;
  }
  if (host.empty()) return std::nullopt;
  for (unsigned char c : host) {
    bool ok = std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':' || c >= 0x80;
    if (!ok) return std::nullopt;
  }
  if (port < 1 || port > 65535) port = kDefaultPort;
  if (!port_text.empty() && !ParsePort(port_text, &port)) return std::nullopt;
  if (port == 465) implicit_tls = true;

  Account account;
  const bool v6 = host.find(':') != std::string::npos;
  account.url = std::string(implicit_tls ? "smtps://" : "smtp://") + (v6 ? "[" : "") + host +
                (v6 ? "]" : "") + ":" + std::to_string(port) + "/";
  account.user = GbkToUtf8(user);
  account.password = GbkToUtf8(password);
  // A password crosses the network only inside TLS; a downgraded STARTTLS offer must not
  // make us send it in the clear.
  if (implicit_tls || (!account.user.empty() && !IsLoopback(host))) {
    account.use_ssl = CURLUSESSL_ALL;
  }
  return account;
}

void Configure(State& s, const Account& a) {
  CURL* h = s.handle;
  const Options& o = s.options;
  curl_easy_setopt(h, CURLOPT_URL, a.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  if (!a.user.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, a.user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, a.password.c_str());
  }
  curl_easy_setopt(h, CURLOPT_USE_SSL, a.use_ssl);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!o.extra_ca_file.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, o.extra_ca_file.c_str());
  const long step_s = std::max(1L, (o.step_ms + 999) / 1000);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, o.step_ms);
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, step_s);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, o.total_ms);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, step_s);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Discard);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, s.errbuf);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s.transcript);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
  s.sockets.Attach(h);
}

CURLcode Perform(State& s) {
  s.transcript.Clear();
  s.errbuf[0] = '\0';
  return curl_easy_perform(s.handle);
}

// The server's own words when its last reply was a refusal, otherwise libcurl's.
std::string ErrorText(const State& s, CURLcode code) {
  if (s.sockets.Aborted()) return AbortedText();
  if (s.transcript.LastCode() >= 400) return Utf8ToGbk(s.transcript.last_reply);
  return Utf8ToGbk(s.errbuf[0] ? s.errbuf : curl_easy_strerror(code));
}

void CloseLocked(State& s) {
  if (!s.handle) return;
  curl_easy_cleanup(s.handle);  // sends QUIT on a live connection
  s.handle = nullptr;
}

}  // namespace

Session::Session(Options options) : s_(std::make_unique<State>()) {
  s_->options = std::move(options);
}

Session::~Session() { CloseLocked(*s_); }

bool Session::Connect(const std::string& server, int port, const std::string& user,
                      const std::string& password) {
  GlobalInit();
  State& s = *s_;
  CloseLocked(s);
  s.account.reset();
  if (s.sockets.Aborted()) {
    s.last_connect_error = AbortedText();
    return false;
  }
  std::optional<Account> account = MakeAccount(server, port, user, password);
  if (!account) {
    s.last_connect_error = FAHUO_GBK("邮箱服务器地址无效");
    return false;
  }
  s.handle = curl_easy_init();
  if (!s.handle) {
    s.last_connect_error = "curl_easy_init failed";
    return false;
  }
  Configure(s, *account);
  // libcurl logs in (EHLO, STARTTLS, AUTH) before any command; a NOOP is the harmless
  // command that makes it do so and leaves the connection in the handle's cache.
  curl_easy_setopt(s.handle, CURLOPT_CUSTOMREQUEST, "NOOP");
  CURLcode code = Perform(s);
  curl_easy_setopt(s.handle, CURLOPT_CUSTOMREQUEST, nullptr);
  if (code != CURLE_OK) {
    s.last_connect_error = ErrorText(s, code);
    CloseLocked(s);
    return false;
  }
  if (!account->user.empty() && !s.transcript.logged_in) {
    // libcurl quietly skips AUTH when the server offers none; the account is then unchecked.
    s.last_connect_error = FAHUO_GBK("邮箱服务器未提供登录");
    CloseLocked(s);
    return false;
  }
  s.last_connect_error.clear();
  s.account = std::move(account);
  return true;
}

std::string Session::LastConnectError() const { return s_->last_connect_error; }

std::string Session::Send(const std::string& subject, const std::string& body,
                          const std::string& recipient, const std::string& sender,
                          const std::string& message_id) {
  s_->handed_over = false;
  if (HasBreakOrNul(recipient)) return FAHUO_GBK("收件人地址含有换行或空字符，未发送");
  if (HasBreakOrNul(sender)) return FAHUO_GBK("发件人地址含有换行或空字符，未发送");
  if (HasBreakOrNul(subject)) return FAHUO_GBK("邮件主题含有换行或空字符，未发送");
  GlobalInit();
  State& s = *s_;
  if (s.sockets.Aborted()) return AbortedText();
  if (!s.account) return FAHUO_GBK("未连接邮箱服务器");
  if (!s.handle) s.handle = curl_easy_init();
  if (!s.handle) return "curl_easy_init failed";
  // Same address and account as the open connection, so libcurl reuses it.
  Configure(s, *s.account);
  const std::string to = GbkToUtf8(recipient);
  const std::string from = GbkToUtf8(sender);
  const std::string message =
      ComposeMail(GbkToUtf8(subject), GbkToUtf8(body), to, from, std::time(nullptr), message_id);
  Source source{&message};
  curl_slist* rcpt = curl_slist_append(nullptr, to.c_str());
  const std::string mail_from = "<" + from + ">";
  curl_easy_setopt(s.handle, CURLOPT_MAIL_FROM, mail_from.c_str());
  curl_easy_setopt(s.handle, CURLOPT_MAIL_RCPT, rcpt);
  curl_easy_setopt(s.handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(s.handle, CURLOPT_READFUNCTION, OnRead);
  curl_easy_setopt(s.handle, CURLOPT_READDATA, &source);
  curl_easy_setopt(s.handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  CURLcode code = Perform(s);
  curl_easy_setopt(s.handle, CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(s.handle, CURLOPT_MAIL_RCPT, nullptr);
  curl_easy_setopt(s.handle, CURLOPT_READDATA, nullptr);
  curl_slist_free_all(rcpt);
  if (code == CURLE_OK) return {};
  std::string error = ErrorText(s, code);
  // Every byte went out and the end of data too, but no reply came: only the server knows
  // whether it kept the mail.
  curl_off_t uploaded = 0;
  curl_easy_getinfo(s.handle, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  s.handed_over = source.pos == message.size() &&
                  uploaded >= static_cast<curl_off_t>(message.size()) && ReplyCode(error) == 0 &&
                  !s.sockets.Aborted();
  return error;
}

bool Session::LastSendHandedOver() const { return s_->handed_over; }

int ReplyCode(std::string_view text) {
  if (text.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    code = code * 10 + (text[i] - '0');
  }
  return code;
}

void Session::Disconnect() { CloseLocked(*s_); }

void Session::Abort() { s_->sockets.Abort(); }

bool SessionSlot::Run(const std::function<void(Session&)>& work) {
  Session session(options_);
  {
    std::lock_guard lock(mutex_);
    if (aborted_) return false;
    session_ = &session;
  }
  work(session);
  session.Disconnect();  // QUIT while Abort can still cut it
  std::lock_guard lock(mutex_);
  session_ = nullptr;
  return true;
}

void SessionSlot::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (session_) session_->Abort();
  wake_.notify_all();
}

bool SessionSlot::Aborted() const {
  std::lock_guard lock(mutex_);
  return aborted_;
}

bool SessionSlot::WaitFor(long long ms) {
  std::unique_lock lock(mutex_);
  if (ms > 0) wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return aborted_; });
  return !aborted_;
}

std::string AbortedText() { return FAHUO_GBK("发货程序正在退出，邮件发送已中止"); }

}  // namespace fahuo::mail
