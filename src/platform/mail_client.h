#pragma once
// The single process-wide SMTP connection. Every call is serialised with the others, so a
// test action on the UI thread and a delivery pass never interleave on the wire.
#include <string>

namespace fahuo {

namespace mail {

constexpr int kDefaultPort = 25;

// Opens the connection to `server` (which may carry ":port"; that port wins, and 465 means
// implicit TLS) and logs in. Replaces any connection left open. True on success.
bool Connect(const std::string& server, int port, const std::string& user,
             const std::string& password);
inline bool Connect(const std::string& server, const std::string& user,
                    const std::string& password) {
  return Connect(server, kDefaultPort, user, password);
}

// Sends one mail over the open connection. Texts are GBK. Returns the error text, empty
// when the server accepted the mail.
std::string Send(const std::string& subject, const std::string& body,
                 const std::string& recipient, const std::string& sender);

void Disconnect();

// Time-outs in milliseconds (tests shorten them).
void SetTimeouts(long step_ms, long total_ms);

}  // namespace mail
}  // namespace fahuo
