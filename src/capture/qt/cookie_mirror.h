#pragma once
// Lets the HTTP client carry the embedded browser's sign-in.
class QWebEngineProfile;

namespace fahuo {

// Keeps the HTTP client's cookie jar equal to `profile`'s cookie store from now on (cookies
// added and removed, including those already stored) and gives the client the browser's
// User-Agent. UI thread, once per profile.
void MirrorCookies(QWebEngineProfile* profile);

}  // namespace fahuo
