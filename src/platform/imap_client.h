#pragma once
// A read-only IMAP session on libcurl, for reading bounced mails back from the seller's
// inbox. libcurl connects and logs in (implicit TLS on 993, STARTTLS elsewhere when offered);
// the commands after that are ours, over the same connection, so that literals (the mails)
// are read whole and every command is one that cannot change the mailbox: EXAMINE, UID
// SEARCH and UID FETCH of BODY.PEEK. Nothing here ever sets a flag or removes a mail.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fahuo::imap {

constexpr int kImapsPort = 993;

struct Options {
  long step_ms = 15000;   // the TCP connect, and each wait for the server
  long total_ms = 60000;  // a whole Connect or command
  std::string extra_ca_file;
};

struct MailboxStatus {
  uint32_t uidvalidity = 0;
  uint32_t uidnext = 0;
  uint32_t exists = 0;
};

struct FetchedMail {
  uint32_t uid = 0;
  std::string bytes;  // as the server sent them, cut at the size asked for
};

class Session {
 public:
  explicit Session(Options options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Connects to `server` ("host" or "host:port", GBK; without a port `port`) and logs in
  // with the account (GBK). A password never crosses the network in the clear but to a
  // loopback address. Sends ID after the login (some providers refuse a mailbox without).
  bool Connect(const std::string& server, int port, const std::string& user,
               const std::string& password);
  // Why the last call failed (GBK; the server's words where there were some).
  std::string LastError() const;

  // Opens `mailbox` read-only.
  std::optional<MailboxStatus> Examine(const std::string& mailbox = "INBOX");
  // UID SEARCH with `criteria` (ASCII, e.g. "UID 41:*" or "SINCE 1-Dec-2026"): the UIDs.
  std::optional<std::vector<uint32_t>> Search(const std::string& criteria);
  // The header sections of `uids` (each cut at `max_bytes`), in one command.
  std::optional<std::vector<FetchedMail>> FetchHeaders(const std::vector<uint32_t>& uids,
                                                       size_t max_bytes = 64 * 1024);
  // The first `max_bytes` of one whole message; nullopt on failure, an empty text when the
  // message is gone.
  std::optional<std::string> FetchMessage(uint32_t uid, size_t max_bytes = 256 * 1024);

  // LOGOUT and close.
  void Disconnect();
  // From any thread: the exchange under way ends at once; later calls fail.
  void Abort();

  struct State;

 private:
  std::unique_ptr<State> s_;
};

// The text a call gives after Abort().
std::string AbortedText();

// The IMAP date of a Unix time (UTC): "1-Dec-2026".
std::string ImapDate(int64_t unix_seconds);
// "1:3,7" for a sorted list of UIDs.
std::string UidSet(std::vector<uint32_t> uids);

}  // namespace fahuo::imap
