#pragma once
// HTTP GET on libcurl carrying the embedded browser's sign-in cookies.
#include <cstddef>
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

// Mirror of the browser's cookie store. Thread-safe. A cookie is identified by its name,
// domain and path: setting one replaces the cookie with the same three.
void HttpSetCookie(const HttpCookie& cookie);
void HttpRemoveCookie(const HttpCookie& cookie);
void HttpClearCookies();
void HttpSetUserAgent(const std::string& user_agent);
// Trust an extra CA file (tests with a self-signed service); empty restores the default.
void HttpSetExtraCaFile(const std::string& path);

// GET of an absolute http(s) address: the body bytes, empty on any failure (bad address,
// time-out, non-2xx status, body over kHttpMaxBodyBytes: a Content-Length beyond it fails
// before the body is read, and any other answer is cut the moment its decoded bytes reach
// it). Memory is bounded by the cap whatever the server sends. TLS certificates are verified, at
// most five redirects are followed, and cookies go only where the cookie rules send them; cookies
// that responses set are kept for later requests. Safe from several threads at once.
std::string HttpGet(const std::string& url);

// Time-outs in milliseconds (tests shorten them). Defaults: connect 10000, total 30000.
void HttpSetTimeouts(long connect_ms, long total_ms);

}  // namespace fahuo
