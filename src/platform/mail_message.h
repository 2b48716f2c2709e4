#pragma once
// The text of one outgoing mail, as the SMTP DATA phase carries it.
#include <ctime>
#include <string>

namespace fahuo::mail {

// A complete RFC 5322 message with CRLF line ends: From, To, Subject (RFC 2047 encoded
// words), Date, Message-ID, MIME-Version and a UTF-8 text/plain body in base64, which
// survives any content (long lines, lone dots, NUL). All texts are UTF-8; `to` and `from`
// must hold no line break (the caller refuses those). `now` dates the mail. `message_id`
// ("<…@…>") is used as given; empty: a new one (NewMessageId).
std::string ComposeMail(const std::string& subject, const std::string& body, const std::string& to,
                        const std::string& from, std::time_t now = std::time(nullptr),
                        const std::string& message_id = {});

// A Message-ID no other mail has: random, on the domain of `from` (UTF-8) where it is usable.
std::string NewMessageId(const std::string& from, std::time_t now = std::time(nullptr));

// `text` as RFC 2047 "B" encoded words of at most 75 characters, folded with CRLF SP,
// never splitting a UTF-8 character.
std::string EncodeHeaderWords(const std::string& text);

std::string Base64(const std::string& bytes);

}  // namespace fahuo::mail
