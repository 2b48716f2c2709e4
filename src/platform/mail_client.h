#pragma once
// The single process-wide SMTP connection. Every call is serialised with the others, so a
// test action on the UI thread and a delivery pass never interleave on the wire.
#include <string>
#include <string_view>

namespace fahuo {

namespace mail {

constexpr int kDefaultPort = 25;
// The sending server a fresh installation proposes.
constexpr const char* kDefaultServer = "smtp.qq.com";

// Opens the connection to `server` (which may carry ":port"; that port wins, and 465 means
// implicit TLS) and logs in. Replaces any connection left open. True on success.
// STARTTLS is used whenever the server offers it. A password is never sent in the clear to
// another machine: with a user name and a server that is not loopback, TLS is required.
// With a user name, success also requires that the server accepted the login.
bool Connect(const std::string& server, int port, const std::string& user,
             const std::string& password);
inline bool Connect(const std::string& server, const std::string& user,
                    const std::string& password) {
  return Connect(server, kDefaultPort, user, password);
}

// Why the last Connect failed (GBK; the server's reply where there was one), empty after
// a successful one. For logs and tests: the callers show their own fixed texts.
std::string LastConnectError();

// Sends one mail over the open connection. Texts are GBK. Returns the error text, empty
// when the server accepted the mail. A subject, recipient or sender holding CR, LF or NUL is
// refused before anything is sent. The mail goes out as UTF-8 plain text, base64-encoded.
// If the connection was closed meanwhile (Disconnect from another caller, or the server
// dropped it), the account of the last successful Connect logs in again.
std::string Send(const std::string& subject, const std::string& body, const std::string& recipient,
                 const std::string& sender);

// The SMTP reply code a text starts with ("550 5.1.1 …" → 550), 0 without one.
int ReplyCode(std::string_view text);

// Ends the connection (QUIT). The next Send, if any, reconnects with the same account.
void Disconnect();

// Time-outs in milliseconds (tests shorten them): `step_ms` bounds the TCP connect and the
// wait for each server reply, `total_ms` a whole Connect or Send. Defaults 15000 and 60000.
void SetTimeouts(long step_ms, long total_ms);

// Trust the certificates in this file as well (tests with a self-signed server); empty
// restores the default. Takes effect from the next Connect or Send.
void SetExtraCaFile(const std::string& path);

}  // namespace mail
}  // namespace fahuo
