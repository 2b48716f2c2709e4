#include "platform/imap_client.h"

#include <curl/curl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <string_view>

#include "platform/curl_sockets.h"
#include "platform/gbk.h"

namespace fahuo::imap {
namespace {

// A response line (a SEARCH of every mail of a large inbox is one line) and a whole
// response are bounded: a server that keeps talking is cut off, not kept.
constexpr size_t kMaxLineBytes = 4 * 1024 * 1024;
constexpr size_t kMaxResponseBytes = 48 * 1024 * 1024;
constexpr size_t kMaxErrorBytes = 300;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host.rfind("127.", 0) == 0 || host == "::1";
}

// One untagged response: its text with each literal replaced by "{}", and the literals.
struct Untagged {
  std::string text;
  std::vector<std::string> literals;
};

struct Response {
  bool ok = false;
  std::string status;  // the tagged line
  std::vector<Untagged> untagged;
};

std::string Trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return text.substr(start);
}

// The number after `key` in `text` ("UIDVALIDITY 7" → 7), 0 when absent.
uint32_t NumberAfter(std::string_view text, std::string_view key) {
  size_t at = 0;
  while ((at = text.find(key, at)) != std::string_view::npos) {
    size_t p = at + key.size();
    at = p;
    if (p >= text.size() || text[p] != ' ') continue;
    ++p;
    uint64_t value = 0;
    size_t digits = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9' && digits < 11) {
      value = value * 10 + static_cast<uint64_t>(text[p] - '0');
      ++p;
      ++digits;
    }
    if (digits && value <= 0xffffffffu) return static_cast<uint32_t>(value);
  }
  return 0;
}

}  // namespace

struct Session::State {
  Options options;
  CURL* handle = nullptr;
  curl_socket_t fd = CURL_SOCKET_BAD;
  std::string error;
  std::string buffer;  // received, not yet parsed
  unsigned tag = 0;
  char errbuf[CURL_ERROR_SIZE] = {};
  std::string last_reply;  // the server's last words during libcurl's login

  CurlSockets sockets;
};

namespace {

using State = Session::State;

// The login's replies, for a refusal's words (never the commands: they hold the password).
int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* s = static_cast<State*>(user);
  std::string line(data, std::min(size, kMaxErrorBytes));
  line = Trimmed(line);
  if (!line.empty()) s->last_reply = line;
  return 0;
}

using Clock = std::chrono::steady_clock;

bool Fail(State& s, std::string text) {
  s.error = s.sockets.Aborted() ? AbortedText() : std::move(text);
  return false;
}

// Waits until the socket can be read (or written) within the step and the deadline.
bool Wait(State& s, bool for_write, Clock::time_point deadline) {
  const auto now = Clock::now();
  if (now >= deadline) return Fail(s, FAHUO_GBK("收件服务器响应超时"));
  long ms = std::min<long>(
      s.options.step_ms,
      static_cast<long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()));
  pollfd p{s.fd, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
  int r = poll(&p, 1, static_cast<int>(std::max(1L, ms)));
  if (s.sockets.Aborted()) return Fail(s, {});
  if (r == 0) return Fail(s, FAHUO_GBK("收件服务器响应超时"));
  if (r < 0 && errno != EINTR) return Fail(s, FAHUO_GBK("收件连接出错"));
  return true;
}

bool SendAll(State& s, const std::string& data, Clock::time_point deadline) {
  size_t pos = 0;
  while (pos < data.size()) {
    if (s.sockets.Aborted()) return Fail(s, {});
    size_t n = 0;
    CURLcode code = curl_easy_send(s.handle, data.data() + pos, data.size() - pos, &n);
    if (code == CURLE_AGAIN) {
      if (!Wait(s, true, deadline)) return false;
      continue;
    }
    if (code != CURLE_OK) return Fail(s, Utf8ToGbk(curl_easy_strerror(code)));
    pos += n;
  }
  return true;
}

// Reads more into the buffer.
bool ReadMore(State& s, Clock::time_point deadline) {
  char chunk[16384];
  for (;;) {
    if (s.sockets.Aborted()) return Fail(s, {});
    size_t n = 0;
    CURLcode code = curl_easy_recv(s.handle, chunk, sizeof chunk, &n);
    if (code == CURLE_AGAIN) {
      if (!Wait(s, false, deadline)) return false;
      continue;
    }
    if (code != CURLE_OK) return Fail(s, Utf8ToGbk(curl_easy_strerror(code)));
    if (n == 0) return Fail(s, FAHUO_GBK("收件服务器断开了连接"));
    s.buffer.append(chunk, n);
    return true;
  }
}

// One line (without CRLF) from the buffer, reading as needed.
bool ReadLine(State& s, std::string& line, Clock::time_point deadline) {
  size_t searched = 0;
  for (;;) {
    size_t nl = s.buffer.find('\n', searched);
    if (nl != std::string::npos) {
      line.assign(s.buffer, 0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      s.buffer.erase(0, nl + 1);
      return true;
    }
    searched = s.buffer.size();
    if (s.buffer.size() > kMaxLineBytes) return Fail(s, FAHUO_GBK("收件服务器的应答过长"));
    if (!ReadMore(s, deadline)) return false;
  }
}

// The literal's size a line ends with ("… {123}"), or nullopt.
std::optional<size_t> LiteralSize(const std::string& line) {
  if (line.empty() || line.back() != '}') return std::nullopt;
  size_t open = line.rfind('{');
  if (open == std::string::npos) return std::nullopt;
  std::string digits = line.substr(open + 1, line.size() - open - 2);
  if (!digits.empty() && digits.back() == '+') digits.pop_back();
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  return static_cast<size_t>(n);
}

// Sends one command and reads its whole response. Literals beyond `max_literal` bytes are
// read and dropped past that size.
bool Command(State& s, const std::string& command, Response& out, size_t max_literal = 0) {
  out = Response{};
  if (s.sockets.Aborted()) return Fail(s, {});
  if (!s.handle) return Fail(s, FAHUO_GBK("未连接收件服务器"));
  const auto deadline = Clock::now() + std::chrono::milliseconds(s.options.total_ms);
  const std::string tag = "f" + std::to_string(++s.tag);
  if (!SendAll(s, tag + " " + command + "\r\n", deadline)) return false;
  size_t total = 0;
  std::string line;
  for (;;) {
    if (!ReadLine(s, line, deadline)) return false;
    total += line.size();
    if (line.rfind(tag + " ", 0) == 0) {
      out.status = line.substr(tag.size() + 1);
      out.ok = out.status.rfind("OK", 0) == 0;
      if (!out.ok) s.error = Utf8ToGbk(out.status.substr(0, kMaxErrorBytes));
      return true;
    }
    if (line.rfind("+", 0) == 0) return Fail(s, FAHUO_GBK("收件服务器要求继续输入"));
    Untagged u;
    for (;;) {
      std::optional<size_t> size = LiteralSize(line);
      u.text += size ? line.substr(0, line.rfind('{')) + "{}" : line;
      if (!size) break;
      std::string literal;
      size_t left = *size;
      total += left;
      if (total > kMaxResponseBytes) return Fail(s, FAHUO_GBK("收件服务器的应答过长"));
      while (left > 0) {
        if (s.buffer.empty() && !ReadMore(s, deadline)) return false;
        size_t take = std::min(left, s.buffer.size());
        if (literal.size() < max_literal) {
          literal.append(s.buffer, 0, std::min(take, max_literal - literal.size()));
        }
        s.buffer.erase(0, take);
        left -= take;
      }
      u.literals.push_back(std::move(literal));
      if (!ReadLine(s, line, deadline)) return false;
    }
    if (total > kMaxResponseBytes) return Fail(s, FAHUO_GBK("收件服务器的应答过长"));
    out.untagged.push_back(std::move(u));
  }
}

void CloseHandle(State& s) {
  if (!s.handle) return;
  curl_easy_cleanup(s.handle);
  s.handle = nullptr;
  s.fd = CURL_SOCKET_BAD;
  s.buffer.clear();
}

// "host", "host:port", "[v6]:port" (blanks around allowed).
bool SplitServer(std::string server, std::string& host, int& port) {
  server = Trimmed(server);
  for (const char* scheme : {"imaps://", "imap://"}) {
    if (server.rfind(scheme, 0) == 0) {
      if (scheme[4] == 's') port = kImapsPort;
      server.erase(0, std::strlen(scheme));
    }
  }
  if (!server.empty() && server.back() == '/') server.pop_back();
  std::string port_text;
  if (!server.empty() && server.front() == '[') {
    size_t close = server.find(']');
    if (close == std::string::npos) return false;
    host = server.substr(1, close - 1);
    std::string rest = server.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port_text = rest.substr(1);
    }
  } else if (std::count(server.begin(), server.end(), ':') == 1) {
    host = server.substr(0, server.find(':'));
    port_text = server.substr(server.find(':') + 1);
  } else {
    host = server;
  }
  if (host.empty()) return false;
  for (unsigned char c : host) {
    if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':')) return false;
  }
  if (!port_text.empty()) {
    if (port_text.size() > 5) return false;
    int value = 0;
    for (char c : port_text) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    port = value;
  }
  return port >= 1 && port <= 65535;
}

// An IMAP quoted string of UTF-8 text.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

Session::Session(Options options) : s_(std::make_unique<State>()) {
  s_->options = std::move(options);
}

Session::~Session() { Disconnect(); }

std::string Session::LastError() const { return s_->error; }

bool Session::Connect(const std::string& server, int port, const std::string& user,
                      const std::string& password) {
  GlobalInit();
  State& s = *s_;
  CloseHandle(s);
  if (s.sockets.Aborted()) return Fail(s, {});
  std::string host;
  if (!SplitServer(GbkToUtf8(server), host, port)) {
    return Fail(s, FAHUO_GBK("收件服务器地址无效"));
  }
  const std::string user8 = GbkToUtf8(user);
  const std::string password8 = GbkToUtf8(password);
  if (user8.empty() || user8.find_first_of("\r\n") != std::string::npos ||
      password8.find_first_of("\r\n") != std::string::npos) {
    return Fail(s, FAHUO_GBK("收件账户无效"));
  }
  const bool implicit_tls = port == kImapsPort;
  const bool v6 = host.find(':') != std::string::npos;
  const std::string url = std::string(implicit_tls ? "imaps://" : "imap://") + (v6 ? "[" : "") +
                          host + (v6 ? "]" : "") + ":" + std::to_string(port) + "/";
  s.handle = curl_easy_init();
  if (!s.handle) return Fail(s, "curl_easy_init failed");
  CURL* h = s.handle;
  const long step_s = std::max(1L, (s.options.step_ms + 999) / 1000);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "imap,imaps");
  curl_easy_setopt(h, CURLOPT_USERNAME, user8.c_str());
  curl_easy_setopt(h, CURLOPT_PASSWORD, password8.c_str());
  // The authorisation code crosses the network only inside TLS.
  curl_easy_setopt(h, CURLOPT_USE_SSL,
                   implicit_tls || !IsLoopback(host) ? CURLUSESSL_ALL : CURLUSESSL_TRY);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!s.options.extra_ca_file.empty()) {
    curl_easy_setopt(h, CURLOPT_CAINFO, s.options.extra_ca_file.c_str());
  }
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, s.options.step_ms);
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, step_s);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, s.options.total_ms);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, s.errbuf);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
  s.sockets.Attach(h);
  s.errbuf[0] = '\0';
  s.last_reply.clear();
  CURLcode code = curl_easy_perform(h);
  if (code != CURLE_OK) {
    std::string why = code == CURLE_LOGIN_DENIED && !s.last_reply.empty()
                          ? s.last_reply
                          : std::string(s.errbuf[0] ? s.errbuf : curl_easy_strerror(code));
    CloseHandle(s);
    return Fail(s, Utf8ToGbk(why));
  }
  curl_easy_setopt(h, CURLOPT_VERBOSE, 0L);
  curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &s.fd);
  if (s.fd == CURL_SOCKET_BAD) {
    CloseHandle(s);
    return Fail(s, FAHUO_GBK("收件连接出错"));
  }
  Response r;
  // Some providers refuse to open a mailbox to a client that has not named itself; a
  // server without ID answers BAD, which is fine.
  if (!Command(s, "ID (\"name\" \"fahuo\" \"version\" \"1.0\")", r)) {
    CloseHandle(s);
    return false;
  }
  s.error.clear();
  return true;
}

std::optional<MailboxStatus> Session::Examine(const std::string& mailbox) {
  Response r;
  if (!Command(*s_, "EXAMINE " + Quoted(mailbox), r) || !r.ok) return std::nullopt;
  MailboxStatus status;
  for (const Untagged& u : r.untagged) {
    if (uint32_t v = NumberAfter(u.text, "[UIDVALIDITY")) status.uidvalidity = v;
    if (uint32_t v = NumberAfter(u.text, "[UIDNEXT")) status.uidnext = v;
    if (u.text.size() > 8 && u.text.compare(u.text.size() - 7, 7, " EXISTS") == 0) {
      status.exists = NumberAfter(u.text, "*");
    }
  }
  return status;
}

std::optional<std::vector<uint32_t>> Session::Search(const std::string& criteria) {
  Response r;
  if (criteria.find_first_of("\r\n{") != std::string::npos) return std::nullopt;
  if (!Command(*s_, "UID SEARCH " + criteria, r) || !r.ok) return std::nullopt;
  std::vector<uint32_t> uids;
  for (const Untagged& u : r.untagged) {
    if (u.text.rfind("* SEARCH", 0) != 0) continue;
    const char* p = u.text.c_str() + 8;
    while (*p) {
      while (*p == ' ') ++p;
      uint64_t v = 0;
      size_t digits = 0;
      while (*p >= '0' && *p <= '9') {
        if (digits < 11) v = v * 10 + static_cast<uint64_t>(*p - '0');
        ++p;
        ++digits;
      }
      if (digits && v > 0 && v <= 0xffffffffu) uids.push_back(static_cast<uint32_t>(v));
      if (!digits && *p) ++p;
    }
  }
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  return uids;
}

namespace {

// The FETCH responses' UID and first literal.
std::vector<FetchedMail> FetchedOf(std::vector<Untagged>& untagged) {
  std::vector<FetchedMail> out;
  for (Untagged& u : untagged) {
    if (u.text.find(" FETCH ") == std::string::npos || u.literals.empty()) continue;
    uint32_t uid = NumberAfter(u.text, "UID");
    if (!uid) continue;
    out.push_back({uid, std::move(u.literals.front())});
  }
  return out;
}

}  // namespace

std::optional<std::vector<FetchedMail>> Session::FetchHeaders(const std::vector<uint32_t>& uids,
                                                              size_t max_bytes) {
  if (uids.empty()) return std::vector<FetchedMail>{};
  Response r;
  if (!Command(*s_, "UID FETCH " + UidSet(uids) + " (UID BODY.PEEK[HEADER])", r, max_bytes) ||
      !r.ok) {
    return std::nullopt;
  }
  return FetchedOf(r.untagged);
}

std::optional<std::string> Session::FetchMessage(uint32_t uid, size_t max_bytes) {
  Response r;
  if (!Command(*s_,
               "UID FETCH " + std::to_string(uid) + " (UID BODY.PEEK[]<0." +
                   std::to_string(max_bytes) + ">)",
               r, max_bytes) ||
      !r.ok) {
    return std::nullopt;
  }
  std::vector<FetchedMail> mails = FetchedOf(r.untagged);
  for (FetchedMail& m : mails) {
    if (m.uid == uid) return std::move(m.bytes);
  }
  return std::string();
}

void Session::Disconnect() {
  State& s = *s_;
  if (s.handle && !s.sockets.Aborted()) {
    // LOGOUT bounded by one step.
    const long total = s.options.total_ms;
    s.options.total_ms = std::min(total, s.options.step_ms);
    Response r;
    Command(s, "LOGOUT", r);
    s.options.total_ms = total;
  }
  CloseHandle(s);
}

void Session::Abort() { s_->sockets.Abort(); }

std::string AbortedText() { return FAHUO_GBK("发货程序正在退出，收件已中止"); }

std::string ImapDate(int64_t unix_seconds) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return std::to_string(tm.tm_mday) + "-" + kMonths[tm.tm_mon] + "-" +
         std::to_string(tm.tm_year + 1900);
}

std::string UidSet(std::vector<uint32_t> uids) {
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  std::string out;
  for (size_t i = 0; i < uids.size();) {
    size_t j = i;
    while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(uids[i]);
    if (j > i) out += ":" + std::to_string(uids[j]);
    i = j + 1;
  }
  return out;
}

}  // namespace fahuo::imap
