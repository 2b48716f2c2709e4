#pragma once
// Lets the HTTP client carry the embedded browser's sign-in.
class QWebEngineProfile;

namespace fahuo {

class HttpClient;

// Keeps `http`'s cookie jar equal to `profile`'s cookie store from now on (cookies
// added and removed, including those already stored) and gives the client the browser's
// User-Agent. UI thread, once per profile; `http` outlives the profile.
void MirrorCookies(QWebEngineProfile* profile, HttpClient& http);

}  // namespace fahuo
