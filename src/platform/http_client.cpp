#include "platform/http_client.h"

#include <curl/curl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

namespace fahuo {
namespace {

// A records page is tens of kilobytes; anything near this is not one, and reading on would
// only grow the process.
constexpr size_t kMaxBodyBytes = kHttpMaxBodyBytes;
// Bodies from this size up are given back to the system when dropped (see Release).
constexpr size_t kReleaseFromBytes = 1u << 20;
constexpr long kMaxRedirects = 5;

using CookieKey = std::tuple<std::string, std::string, std::string>;  // domain, path, name

CookieKey KeyOf(const HttpCookie& c) { return {c.domain, c.path.empty() ? "/" : c.path, c.name}; }

bool Printable(const std::string& s) {
  for (char ch : s) {
    if (ch == '\t' || ch == '\r' || ch == '\n' || ch == '\0') return false;
  }
  return true;
}

// One line of the Netscape cookie-file format, which CURLOPT_COOKIELIST accepts.
std::string NetscapeLine(const HttpCookie& c) {
  std::string line = c.http_only ? "#HttpOnly_" : "";
  line += c.domain;
  line += c.domain.starts_with('.') ? "\tTRUE\t" : "\tFALSE\t";
  line += c.path.empty() ? "/" : c.path;
  line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
  line += std::to_string(c.expires) + "\t" + c.name + "\t" + c.value;
  return line;
}

bool ParseNetscapeLine(std::string line, HttpCookie& c) {
  c = HttpCookie{};
  if (line.starts_with("#HttpOnly_")) {
    c.http_only = true;
    line.erase(0, 10);
  } else if (line.starts_with('#')) {
    return false;
  }
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (fields.size() != 7) return false;
  c.domain = fields[0];
  if (fields[1] == "TRUE" && !c.domain.starts_with('.')) c.domain = "." + c.domain;
  c.path = fields[2];
  c.secure = fields[3] == "TRUE";
  c.expires = std::strtoll(fields[4].c_str(), nullptr, 10);
  c.name = fields[5];
  c.value = fields[6];
  return true;
}

// libcurl's own one-time set-up: done once, before the first handle, whichever thread asks.
void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Body {
  std::string bytes;
  bool over_cap = false;
};

// Counts the decoded bytes, so a small compressed answer that inflates beyond the cap is
// cut as soon as it gets there.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  size_t n = size * count;
  if (n > kMaxBodyBytes - body->bytes.size()) {
    body->over_cap = true;
    return 0;  // aborts the transfer
  }
  if (body->bytes.capacity() == 0) body->bytes.reserve(64u * 1024u);
  body->bytes.append(data, n);
  return n;
}

// Drops a body that will not be returned. A large one goes back to the system at once: the
// allocator would otherwise keep it in this thread's arena, and a records server answering
// with oversized pages would grow the process by the cap with each new worker thread.
void Release(Body& body) {
  const bool large = body.bytes.capacity() >= kReleaseFromBytes;
  std::string().swap(body.bytes);
#ifdef __GLIBC__
  if (large) malloc_trim(0);
#else
  (void)large;
#endif
}

bool IsHttpAddress(const std::string& url) {
  auto starts = [&](const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    if (url.size() <= n) return false;
    for (size_t i = 0; i < n; ++i) {
      if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    }
    return true;
  };
  return starts("http://") || starts("https://");
}

// Takes in the cookies the handle holds after the transfer: new and changed ones are kept,
// and those we loaded that the responses deleted or let expire are dropped.
void MergeBack(CURL* curl, const std::map<CookieKey, HttpCookie>& loaded, std::mutex& mutex,
               std::map<CookieKey, HttpCookie>& cookies) {
  curl_slist* list = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &list) != CURLE_OK) return;
  std::map<CookieKey, HttpCookie> after;
  long long now = static_cast<long long>(std::time(nullptr));
  for (curl_slist* item = list; item; item = item->next) {
    HttpCookie c;
    if (!ParseNetscapeLine(item->data, c)) continue;
    if (c.expires != 0 && c.expires < now) continue;
    after.emplace(KeyOf(c), c);
  }
  curl_slist_free_all(list);

  std::lock_guard lock(mutex);
  for (const auto& [key, c] : loaded) {
    if (!after.contains(key)) cookies.erase(key);
  }
  for (const auto& [key, c] : after) {
    auto was = loaded.find(key);
    if (was == loaded.end() || was->second.value != c.value || was->second.expires != c.expires) {
      cookies[key] = c;
    }
  }
}

int OnProgress(void* aborted, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(aborted)->load() ? 1 : 0;
}

// What a GET and a POST share: http(s) only, the time-outs, the body cap, certificate
// checks, where the answer goes, and the abort poll.
void SetCommon(CURL* curl, const std::string& url, const HttpOptions& options, Body& body,
               std::atomic<bool>& aborted) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, options.connect_ms);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.total_ms);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // Replaces only the bundle file; the system's hashed certificate folder stays trusted.
  if (!options.extra_ca_file.empty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, options.extra_ca_file.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  // Polled about once a second while the transfer waits, so a quit never waits out a
  // server that stopped answering.
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &aborted);
}

}  // namespace

// Our own copy of the browser's cookies. Every request loads it into a fresh libcurl handle,
// whose cookie engine then decides which cookies go where, and writes back what the
// responses changed. Removal stays exact this way, which a shared libcurl jar cannot offer.
struct HttpClient::CookieJar {
  std::mutex mutex;
  std::map<CookieKey, HttpCookie> cookies;
  std::string user_agent;
};

HttpClient::HttpClient(HttpOptions options)
    : options_(std::move(options)), jar_(std::make_unique<CookieJar>()) {}

HttpClient::~HttpClient() = default;

void HttpClient::AbortAll() { aborted_.store(true); }

void HttpClient::SetCookie(const HttpCookie& cookie) {
  if (cookie.name.empty() || cookie.domain.empty() || !Printable(cookie.name) ||
      !Printable(cookie.value) || !Printable(cookie.domain) || !Printable(cookie.path)) {
    return;
  }
  std::lock_guard lock(jar_->mutex);
  jar_->cookies[KeyOf(cookie)] = cookie;
}

void HttpClient::RemoveCookie(const HttpCookie& cookie) {
  std::lock_guard lock(jar_->mutex);
  jar_->cookies.erase(KeyOf(cookie));
}

void HttpClient::ClearCookies() {
  std::lock_guard lock(jar_->mutex);
  jar_->cookies.clear();
}

void HttpClient::SetUserAgent(const std::string& user_agent) {
  std::lock_guard lock(jar_->mutex);
  jar_->user_agent = user_agent;
}

std::string HttpClient::Get(const std::string& url) {
  if (!IsHttpAddress(url) || aborted_.load()) return {};
  GlobalInit();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
  CURL* curl = handle.get();
  if (!curl) return {};

  std::map<CookieKey, HttpCookie> loaded;
  std::string user_agent;
  {
    std::lock_guard lock(jar_->mutex);
    loaded = jar_->cookies;
    user_agent = jar_->user_agent;
  }

  Body body;
  SetCommon(curl, url, options_, body, aborted_);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  if (!user_agent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent.c_str());

  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // cookie engine on, no file
  for (const auto& [key, cookie] : loaded) {
    curl_easy_setopt(curl, CURLOPT_COOKIELIST, NetscapeLine(cookie).c_str());
  }

  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  MergeBack(curl, loaded, jar_->mutex, jar_->cookies);
  handle.reset();  // libcurl's own buffers go before the trim
  if (rc != CURLE_OK || body.over_cap || status < 200 || status > 299) {
    Release(body);
    return {};
  }
  return std::move(body.bytes);
}

HttpClient::PostAnswer HttpClient::Post(const std::string& url, const std::string& content_type,
                                        const std::string& body) {
  PostAnswer answer;
  if (!IsHttpAddress(url)) {
    answer.error = "not an http(s) address";
    return answer;
  }
  if (aborted_.load()) {
    answer.error = "aborted";
    return answer;
  }
  GlobalInit();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
  CURL* curl = handle.get();
  if (!curl) {
    answer.error = "no libcurl handle";
    return answer;
  }
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      curl_slist_append(nullptr, ("Content-Type: " + content_type).c_str()), curl_slist_free_all);
  Body got;
  char error[CURL_ERROR_SIZE] = {};
  SetCommon(curl, url, options_, got, aborted_);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  if (rc != CURLE_OK) {
    answer.error = error[0] ? error : curl_easy_strerror(rc);
  } else if (answer.status < 200 || answer.status > 299) {
    answer.error = "HTTP " + std::to_string(answer.status);
  }
  answer.body = std::move(got.bytes);
  return answer;
}

}  // namespace fahuo
