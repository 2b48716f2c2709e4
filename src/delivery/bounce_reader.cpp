#include "delivery/bounce_reader.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "delivery/bounce_mail.h"
#include "delivery/reply_words.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

const std::string& Eol() {
  static const std::string eol = "\r\n";
  return eol;
}

std::string TrimmedLower(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
  return AsciiLower(text.substr(a, b - a));
}

struct Mark {
  uint32_t uidvalidity = 0;
  uint32_t last_uid = 0;
};

std::optional<Mark> ParseMark(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  unsigned long validity = 0, last = 0;
  if (std::sscanf(value->c_str(), "%lu %lu", &validity, &last) != 2) return std::nullopt;
  return Mark{static_cast<uint32_t>(validity), static_cast<uint32_t>(last)};
}

std::string MarkValue(const Mark& m) {
  return std::to_string(m.uidvalidity) + " " + std::to_string(m.last_uid);
}

constexpr int64_t kDay = 24 * 60 * 60;
// A bounce dated a little before the mail it returns: the two servers' clocks differ.
constexpr int64_t kClockSlack = 15 * 60;
// A busy shop mails thousands a day: a bounce without the mail's ID looks through all of them.
constexpr size_t kMaxMatched = 20000;

}  // namespace

std::string ImapServerFor(std::string_view smtp_server) {
  std::string host = TrimmedLower(smtp_server);
  for (const char* scheme : {"smtps://", "smtp://"}) {
    if (host.rfind(scheme, 0) == 0) host.erase(0, std::char_traits<char>::length(scheme));
  }
  host = host.substr(0, host.find_first_of(":/"));
  static const std::pair<const char*, const char*> kKnown[] = {
      {"smtp.qq.com", "imap.qq.com:993"},
      {"smtp.163.com", "imap.163.com:993"},
      {"smtp.126.com", "imap.126.com:993"},
      {"smtp.yeah.net", "imap.yeah.net:993"},
      {"smtp.exmail.qq.com", "imap.exmail.qq.com:993"},
      {"smtp.sina.com", "imap.sina.com:993"},
      {"smtp.sina.cn", "imap.sina.cn:993"},
      {"smtp.sohu.com", "imap.sohu.com:993"},
      {"smtp.aliyun.com", "imap.aliyun.com:993"},
      {"smtp.139.com", "imap.139.com:993"},
      {"smtp.gmail.com", "imap.gmail.com:993"},
      {"smtp-mail.outlook.com", "outlook.office365.com:993"},
      {"smtp.office365.com", "outlook.office365.com:993"},
      {"smtp.mail.yahoo.com", "imap.mail.yahoo.com:993"},
  };
  for (const auto& [smtp, imap] : kKnown) {
    if (host == smtp) return imap;
  }
  return {};
}

std::string BounceReader::MarkName(const std::string& address) {
  return "bounce:" + TrimmedLower(address);
}

bool BounceReader::Begin(imap::Session* session) {
  std::lock_guard lock(mutex_);
  if (aborted_) return false;
  session_ = session;
  return true;
}

void BounceReader::End() {
  std::lock_guard lock(mutex_);
  session_ = nullptr;
}

void BounceReader::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (session_) session_->Abort();
}

bool BounceReader::Connect(imap::Session& session, const MailAccount& account, std::string server,
                           InboxCheck& check) {
  if (server.empty()) server = ImapServerFor(account.server);
  if (server.empty()) {
    check.error = FAHUO_GBK("不知道发信服务器 ") + account.server +
                  FAHUO_GBK(" 的收件服务器，请在提醒设置的退信中填写");
    return false;
  }
  // QQ and 163 take the SMTP authorisation code for IMAP too.
  if (!session.Connect(server, imap::kImapsPort, account.user, account.password)) {
    check.error = session.LastError();
    return false;
  }
  check.connected = true;
  return true;
}

struct BounceReader::Ending {
  BounceReader* reader;
  imap::Session& session;
  ~Ending() {
    session.Disconnect();
    reader->End();
  }
};

BounceReader::InboxCheck BounceReader::CheckInbox(const MailAccount& account,
                                                  const std::string& imap_server,
                                                  const DeliveryOutlet& out) {
  InboxCheck check;
  imap::Session session(options_);
  if (!Begin(&session)) return check;
  const Ending ending{this, session};

  const std::string name = MarkName(account.user);
  const bool known = !imap_server.empty() || !ImapServerFor(account.server).empty();
  // Told once when the inbox fails and once when it is back, whatever words come between.
  auto tell = [&](const std::string& error) {
    bool& failing = told_[name];
    if (failing == !error.empty()) return;
    failing = !error.empty();
    if (!error.empty()) {
      out.view.AppendLog(FAHUO_GBK("无法读取退信（") + account.user + FAHUO_GBK("）：") + error +
                         Eol());
    } else {
      out.view.AppendLog(FAHUO_GBK("退信检查恢复（") + account.user + FAHUO_GBK("）") + Eol());
    }
    // No server known is the seller's setting, not a refusal: the log says so, no alert.
    if (known) out.events.InboxAnswered(account.user, error);
  };

  if (!Connect(session, account, imap_server, check)) {
    if (!session.LastError().empty() && session.LastError() == imap::AbortedText()) return check;
    tell(check.error);
    return check;
  }
  const std::optional<imap::MailboxStatus> box = session.Examine("INBOX");
  if (!box) {
    check.error = session.LastError();
    tell(check.error);
    return check;
  }
  check.messages = box->exists;
  // A read that fails after the login (a message the server will not give, say) is told as
  // the login's failure is: the next checks stop at the same place until it is mended.
  auto failed = [&] {
    check.error = session.LastError();
    if (check.error != imap::AbortedText()) tell(check.error);
    return check;
  };

  std::optional<Mark> mark = ParseMark(ledger_.ReaderMark(name));
  std::optional<std::vector<uint32_t>> uids;
  if (mark && mark->uidvalidity == box->uidvalidity) {
    if (box->uidnext != 0 && box->uidnext <= mark->last_uid + 1) {  // nothing new
      tell({});
      return check;
    }
    uids = session.Search("UID " + std::to_string(mark->last_uid + 1) + ":*");
    if (uids) {
      // "n:*" names the last message even when its UID is below n.
      std::erase_if(*uids, [&](uint32_t u) { return u <= mark->last_uid; });
    }
  } else {
    // A first check, or the mailbox was rebuilt (its UIDs mean other mails now): from the
    // first bill mailed, since nothing before it can be a bounce of ours.
    const std::optional<int64_t> first = ledger_.FirstSentAt();
    if (!first) {
      if (box->uidnext > 0)
        ledger_.SetReaderMark(name, MarkValue({box->uidvalidity, box->uidnext - 1}));
      tell({});
      return check;
    }
    mark = Mark{box->uidvalidity, 0};
    uids = session.Search("SINCE " + imap::ImapDate(*first - kDay));
  }
  if (!uids) return failed();
  for (size_t i = 0; i < uids->size(); i += kHeaderBatch) {
    const std::vector<uint32_t> batch(
        uids->begin() + static_cast<ptrdiff_t>(i),
        uids->begin() + static_cast<ptrdiff_t>(std::min(uids->size(), i + kHeaderBatch)));
    std::optional<std::vector<imap::FetchedMail>> headers = session.FetchHeaders(batch);
    if (!headers) return failed();
    std::sort(headers->begin(), headers->end(),
              [](const imap::FetchedMail& a, const imap::FetchedMail& b) { return a.uid < b.uid; });
    uint32_t done = mark->last_uid;
    bool stop = false;
    for (const imap::FetchedMail& h : *headers) {
      ++check.read;
      if (LooksLikeBounce(h.bytes)) {
        std::optional<std::string> body = session.FetchMessage(h.uid, kMaxBounceBytes);
        if (!body) {
          failed();
          stop = true;
          break;
        }
        if (Apply(*body, check, out)) {
          stop = true;
          break;
        }
      }
      done = std::max(done, h.uid);
    }
    // Messages the server did not return (gone meanwhile) count as read too.
    if (!stop) done = std::max(done, batch.back());
    if (done != mark->last_uid) {
      mark->last_uid = done;
      if (!ledger_.SetReaderMark(name, MarkValue(*mark))) return check;
    }
    if (stop) return check;
  }
  // Everything below UIDNEXT as the mailbox was opened has been read (or is older than the
  // first mail): the next check starts above it, however few mails matched.
  if (box->uidnext > 1 && box->uidnext - 1 > mark->last_uid) {
    mark->last_uid = box->uidnext - 1;
    ledger_.SetReaderMark(name, MarkValue(*mark));
  }
  tell({});
  return check;
}

bool BounceReader::Apply(const std::string& raw, InboxCheck& check, const DeliveryOutlet& out) {
  const BounceFacts facts = ReadBounce(raw);
  if (!facts.bounce) return false;
  ++check.bounces;
  const int64_t date = facts.date > 0 ? facts.date : clock_.UnixSeconds();
  std::optional<LedgerEntry> found;
  if (!facts.original_message_id.empty()) {
    // The mail it names, or none of ours now: an earlier mail of a bill the seller resent
    // since (its resend carries a new ID, and bounces by itself), or the seller's own mail.
    found = ledger_.FindByMessageId(facts.original_message_id);
  } else if (!facts.recipient.empty()) {
    // Else the address and the subject, within the day after the mail went out, among the
    // bills still taken as delivered: a second letter for the same address finds the other.
    for (LedgerEntry& e : ledger_.SentBetween(date - kDay, date + kClockSlack, kMaxMatched)) {
      if (e.state != BillState::kSent || TrimmedLower(e.recipient) != facts.recipient) continue;
      const bool same_subject =
          !facts.original_subject.empty() && GbkToUtf8(e.rule_subject) == facts.original_subject;
      if (!found || same_subject) found = std::move(e);
      if (same_subject) break;
    }
  }
  if (!found) return false;
  // Only a mail still taken as delivered: a bill the seller settled or resent meanwhile is
  // his, and a resend that bounced again is told by its own bounce.
  if (found->state != BillState::kSent || found->sent_at > date + kClockSlack) return false;
  LedgerEntry bounced = *found;
  bounced.state = BillState::kBounced;
  bounced.last_error = BounceReason(facts);
  switch (ledger_.UpdateIfUnchanged(bounced, *found)) {
    case Ledger::UpdateResult::kChanged:
      return false;
    case Ledger::UpdateResult::kFailed:
      out.view.AppendLog(FAHUO_GBK("退信无法记入账本：") + Utf8ToGbk(ledger_.LastError()) + Eol());
      return true;
    case Ledger::UpdateResult::kWritten:
      break;
  }
  ++check.marked;
  const std::string address =
      facts.recipient.empty() ? found->recipient : Utf8ToGbk(facts.recipient);
  out.view.AppendLog(FAHUO_GBK("退信：") + found->bill.流水号 + " " + address + " " +
                     bounced.last_error + Eol());
  out.view.Notify(FAHUO_GBK("邮件被退回"), FAHUO_GBK("流水号 ") + found->bill.流水号 +
                                               FAHUO_GBK(" 的邮件被退回：") + bounced.last_error);
  out.events.BillBounced(found->bill.流水号);
  out.events.BillsChanged();
  return false;
}

BounceReader::InboxCheck BounceReader::TestInbox(const MailAccount& account,
                                                 const std::string& imap_server, size_t recent) {
  InboxCheck check;
  imap::Session session(options_);
  if (!Begin(&session)) return check;
  const Ending ending{this, session};
  if (!Connect(session, account, imap_server, check)) return check;
  const std::optional<imap::MailboxStatus> box = session.Examine("INBOX");
  if (!box) {
    check.error = session.LastError();
    return check;
  }
  check.messages = box->exists;
  std::optional<std::vector<uint32_t>> uids = session.Search("ALL");
  if (!uids) {
    check.error = session.LastError();
    return check;
  }
  if (uids->size() > recent)
    uids->erase(uids->begin(), uids->end() - static_cast<ptrdiff_t>(recent));
  std::optional<std::vector<imap::FetchedMail>> headers = session.FetchHeaders(*uids);
  if (!headers) {
    check.error = session.LastError();
    return check;
  }
  for (const imap::FetchedMail& h : *headers) {
    ++check.read;
    if (!LooksLikeBounce(h.bytes)) continue;
    std::optional<std::string> body = session.FetchMessage(h.uid, kMaxBounceBytes);
    if (body && ReadBounce(*body).bounce) ++check.bounces;
  }
  return check;
}

bool BounceRounds::Tick(BounceReader& reader, Ledger& ledger, int64_t now,
                        const DeliveryOutlet& out) {
  if (!plan_.enabled || plan_.accounts.empty()) return false;
  bool due =
      last_check_ == 0 || now - last_check_ >= int64_t{std::max(1, plan_.interval_minutes)} * 60;
  if (!due) due = !ledger.SentBetween(last_check_ + 1, now - kAfterMailSeconds, 1).empty();
  if (!due) return false;
  last_check_ = now;
  for (const MailAccount& account : plan_.accounts) reader.CheckInbox(account, plan_.server, out);
  return true;
}

}  // namespace fahuo
