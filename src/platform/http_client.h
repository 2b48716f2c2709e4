#pragma once
// HTTP GET on libcurl carrying the embedded browser's sign-in cookies.
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace fahuo {

// The largest body HttpGet returns (decoded bytes): a records page is tens of kilobytes.
inline constexpr size_t kHttpMaxBodyBytes = 4u * 1024u * 1024u;

struct HttpCookie {
  std::string name;
  std::string value;
  std::string domain;  // ".example.com" for a domain cookie, "example.com" host-only
  std::string path = "/";
  bool secure = false;
  bool http_only = false;
  long long expires = 0;  // unix seconds; 0 for a session cookie
};

struct HttpOptions {
  long connect_ms = 10000;    // the TCP (and TLS) connect
  long total_ms = 30000;      // a whole GET
  std::string extra_ca_file;  // trusted besides the system's (tests with a self-signed service)
};

// HTTP GET on one mirror of the browser's cookie store. Built once at start-up and handed to
// whoever fetches (the sign-in watch mirrors the browser's cookies into it, the page loading,
// the records reader and the keep-alive read with them); tests build their own. Thread-safe.
class HttpClient {
 public:
  explicit HttpClient(HttpOptions options = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // A cookie is identified by its name, domain and path: setting one replaces the cookie
  // with the same three.
  void SetCookie(const HttpCookie& cookie);
  void RemoveCookie(const HttpCookie& cookie);
  void ClearCookies();
  void SetUserAgent(const std::string& user_agent);

  // GET of an absolute http(s) address: the body bytes, empty on any failure (bad address,
  // time-out, non-2xx status, body over kHttpMaxBodyBytes: a Content-Length beyond it fails
  // before the body is read, and any other answer is cut the moment its decoded bytes reach
  // it). Memory is bounded by the cap whatever the server sends. TLS certificates are
  // verified, at most five redirects are followed, and cookies go only where the cookie
  // rules send them; cookies that responses set are kept for later requests. Safe from
  // several threads at once.
  std::string Get(const std::string& url);

  // What a POST got back: `error` (libcurl's text, or "HTTP <status>") empty on a 2xx.
  struct PostAnswer {
    long status = 0;
    std::string body;  // at most kHttpMaxBodyBytes
    std::string error;
  };
  // POST of `body` as `content_type` to an absolute http(s) address, with the time-outs,
  // the body cap and the TLS checks of Get. It carries no cookies and keeps none, and
  // follows no redirect (a push service that moves must be pasted anew). Safe from several
  // threads at once.
  PostAnswer Post(const std::string& url, const std::string& content_type, const std::string& body);

  // Ends every GET under way within about a second and fails every later one at once: the
  // program is quitting.
  void AbortAll();

 private:
  struct CookieJar;
  const HttpOptions options_;
  std::unique_ptr<CookieJar> jar_;
  std::atomic<bool> aborted_{false};
};

}  // namespace fahuo
