#pragma once
// An SMTP session on libcurl. Each job that mails (the sender, a connection test, a test mail,
// a preview) owns its own session, so none waits on another's connection and nothing one
// does can close or reset another's.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace fahuo {

namespace mail {

constexpr int kDefaultPort = 25;
// The sending server a fresh installation proposes.
constexpr const char* kDefaultServer = "smtp.qq.com";

struct Options {
  long step_ms = 15000;       // the TCP connect, and the wait for each server reply
  long total_ms = 60000;      // a whole Connect or Send
  std::string extra_ca_file;  // trusted besides the system's (tests with a self-signed server)
};

class Session {
 public:
  explicit Session(Options options = {});
  // Ends the connection (QUIT), bounded by the time-outs; at once after Abort().
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens the connection to `server` (which may carry ":port"; that port wins, and 465 means
  // implicit TLS) and logs in. Replaces any connection left open. True on success.
  // STARTTLS is used whenever the server offers it. A password is never sent in the clear to
  // another machine: with a user name and a server that is not loopback, TLS is required.
  // With a user name, success also requires that the server accepted the login.
  bool Connect(const std::string& server, int port, const std::string& user,
               const std::string& password);
  bool Connect(const std::string& server, const std::string& user, const std::string& password) {
    return Connect(server, kDefaultPort, user, password);
  }

  // Why the last Connect failed (GBK; the server's reply where there was one), empty after
  // a successful one. For logs and tests: the callers show their own fixed texts.
  std::string LastConnectError() const;

  // Sends one mail over the open connection. Texts are GBK. Returns the error text, empty
  // when the server accepted the mail. A subject, recipient or sender holding CR, LF or NUL
  // is refused before anything is sent. The mail goes out as UTF-8 plain text,
  // base64-encoded. If the server dropped the connection meanwhile, the account of the last
  // successful Connect logs in again. `message_id` as ComposeMail takes it.
  std::string Send(const std::string& subject, const std::string& body,
                   const std::string& recipient, const std::string& sender,
                   const std::string& message_id = {});
  // Whether the last failed Send had handed the whole message over when it failed without
  // a reply to it: the server may have taken the mail.
  bool LastSendHandedOver() const;

  // Ends the connection (QUIT). The next Send, if any, reconnects with the same account.
  void Disconnect();

  // From any thread: the exchange under way ends at once (its socket is shut), and every
  // later Connect or Send fails without touching the network. For the end of the program.
  void Abort();

  struct State;  // the connection's libcurl handle and bookkeeping (mail_client.cpp)

 private:
  std::unique_ptr<State> s_;
};

// The session of a job that another thread may cut at any moment, its closing QUIT
// included: one slot per job, a new session for each run.
class SessionSlot {
 public:
  explicit SessionSlot(Options options = {}) : options_(std::move(options)) {}
  // Runs `work` over a new session, then ends its connection while it can still be cut.
  // False, without running, once Abort was called.
  bool Run(const std::function<void(Session&)>& work);
  // From any thread: cuts the session at work and refuses every later run; wakes WaitFor.
  void Abort();
  bool Aborted() const;
  // Waits `ms` milliseconds, or until Abort; false when aborted.
  bool WaitFor(long long ms);

 private:
  const Options options_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Session* session_ = nullptr;
  bool aborted_ = false;
};

// The SMTP reply code a text starts with ("550 5.1.1 …" → 550), 0 without one.
int ReplyCode(std::string_view text);

// The text a failed Send or Connect gives after Abort().
std::string AbortedText();

}  // namespace mail
}  // namespace fahuo
