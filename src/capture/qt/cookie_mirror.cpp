#include "capture/qt/cookie_mirror.h"

#include <QDateTime>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "platform/http_client.h"

namespace fahuo {
namespace {

HttpCookie ToHttpCookie(const QNetworkCookie& cookie) {
  HttpCookie c;
  c.name = cookie.name().toStdString();
  c.value = cookie.value().toStdString();
  // The browser writes a domain cookie as ".host" and a host-only one as "host", which is
  // the form the client expects.
  c.domain = cookie.domain().toStdString();
  c.path = cookie.path().isEmpty() ? "/" : cookie.path().toStdString();
  c.secure = cookie.isSecure();
  c.http_only = cookie.isHttpOnly();
  c.expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
  return c;
}

}  // namespace

void MirrorCookies(QWebEngineProfile* profile, HttpClient& http) {
  http.SetUserAgent(profile->httpUserAgent().toStdString());
  QWebEngineCookieStore* store = profile->cookieStore();
  QObject::connect(store, &QWebEngineCookieStore::cookieAdded, store,
                   [&http](const QNetworkCookie& cookie) { http.SetCookie(ToHttpCookie(cookie)); });
  QObject::connect(
      store, &QWebEngineCookieStore::cookieRemoved, store,
      [&http](const QNetworkCookie& cookie) { http.RemoveCookie(ToHttpCookie(cookie)); });
  store->loadAllCookies();
}

}  // namespace fahuo
