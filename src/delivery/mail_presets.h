#pragma once
// The sending servers of the mailboxes Chinese sellers use most, and the tips text that
// explains how to set them up.
#include <span>
#include <string>
#include <string_view>

namespace fahuo {

struct MailPreset {
  std::string_view name;  // UTF-8, as the menu shows it
  std::string_view host;
  int port;  // the provider's documented secure port: 465 implicit TLS, 587 STARTTLS
  // A safe sending pace (mails per minute) for a personal mailbox of this provider, well
  // below where it starts refusing for "too many / too fast"; 0: none proposed.
  int per_minute = 0;
};

// In menu order.
std::span<const MailPreset> MailPresets();

// The text for 发信设置技巧 (UTF-8): the old advice, then each provider's settings, the
// authorisation code and where to get it, the port, and why port 25 often fails.
std::string_view MailSetupTips();

// The pace proposed for the server text as typed ("smtp.qq.com:465"): its preset's, or 0.
int PresetPerMinute(std::string_view server);

// "host:port", the text the server field takes.
std::string ServerText(const MailPreset& preset);

}  // namespace fahuo
