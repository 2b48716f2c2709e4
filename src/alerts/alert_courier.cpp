#include "alerts/alert_courier.h"

#include <chrono>
#include <utility>

#include "alerts/push_webhook.h"
#include "platform/gbk.h"
#include "platform/worker.h"

namespace fahuo {

namespace {
// Log lines end in CR LF.
const std::string& Eol() {
  static const std::string eol = "\r\n";
  return eol;
}
}  // namespace

AlertCourier::AlertCourier(Options options, std::function<void(const std::string&)> log)
    : options_(std::move(options)),
      log_(std::move(log)),
      http_(options_.http),
      mail_slot_(options_.mail),
      worker_(std::make_unique<Worker>()) {}

AlertCourier::~AlertCourier() { Stop(); }

void AlertCourier::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    wake_.notify_all();
  }
  mail_slot_.Abort();
  http_.AbortAll();
  worker_->Stop();
}

void AlertCourier::SetChannels(AlertChannels channels) {
  std::lock_guard lock(mutex_);
  channels_ = std::move(channels);
}

void AlertCourier::Send(Alert alert) {
  AlertChannels channels;
  {
    std::lock_guard lock(mutex_);
    if (stopped_ || !channels_.Any()) return;
    if (queued_ >= kMaxQueued) {
      // The channels are failing and retrying; the log keeps what was not sent.
      if (!overflow_logged_ && log_) {
        log_(FAHUO_GBK("提醒太多未能发出，已略过：") + alert.title + Eol());
      }
      overflow_logged_ = true;
      return;
    }
    overflow_logged_ = false;
    ++queued_;
    channels = channels_;
  }
  worker_->Post([this, channels = std::move(channels), alert = std::move(alert)] {
    Deliver(channels, alert);
    std::lock_guard lock(mutex_);
    --queued_;
  });
}

void AlertCourier::Test(AlertChannels channels,
                        std::function<void(const std::string&, bool)> done) {
  worker_->Post([this, channels = std::move(channels), done = std::move(done)] {
    const Alert alert{AlertKind::kSummary, false, FAHUO_GBK("发货提醒：测试"),
                      FAHUO_GBK("这是一条测试提醒。收到它，说明提醒设置正确。")};
    std::string report;
    bool all_ok = true;
    auto line = [&](const std::string& l) {
      if (!report.empty()) report += "\n";
      report += l;
    };
    if (!channels.Any()) {
      line(FAHUO_GBK("没有设置提醒邮箱或推送网址"));
      all_ok = false;
    }
    if (!channels.mail_to.empty()) {
      std::string first_error;
      const std::string error = TryMail(channels, alert, &first_error);
      // The test is where the seller learns that the first account refuses: say so even
      // when the second carried the mail.
      all_ok = all_ok && error.empty() && first_error.empty();
      if (!error.empty()) {
        line(FAHUO_GBK("提醒邮件：") + error);
      } else if (!first_error.empty()) {
        line(FAHUO_GBK("提醒邮件：已由备用发信邮箱发送到 ") + channels.mail_to +
             FAHUO_GBK("（主发信邮箱：") + first_error + FAHUO_GBK("）"));
      } else {
        line(FAHUO_GBK("提醒邮件：已发送到 ") + channels.mail_to);
      }
    }
    if (!channels.webhook.empty()) {
      const std::string error = TryWebhook(channels, alert);
      all_ok = all_ok && error.empty();
      const PushFormat f = ChoosePushFormat(channels.webhook, channels.format);
      line(error.empty()
               ? FAHUO_GBK("推送：已发送（") + Utf8ToGbk(PushFormatName(f)) + FAHUO_GBK("）")
               : FAHUO_GBK("推送：") + error);
    }
    // The spare account is only logged into: it mails nothing until it is needed.
    if (channels.backup) {
      const std::string error = TryMailOver(*channels.backup, {}, nullptr);
      all_ok = all_ok && error.empty();
      line(FAHUO_GBK("备用发信邮箱：") + (error.empty() ? FAHUO_GBK("连接成功") : error));
    }
    if (done) done(report, all_ok);
  });
}

std::string AlertCourier::TryMail(const AlertChannels& channels, const Alert& alert,
                                  std::string* first_error) {
  const std::string error = TryMailOver(channels.account, channels.mail_to, &alert);
  if (error.empty() || !channels.backup || error == mail::AbortedText()) return error;
  const std::string second = TryMailOver(*channels.backup, channels.mail_to, &alert);
  if (second.empty() && first_error) *first_error = error;
  if (second.empty() || second == mail::AbortedText()) return second;
  return error + FAHUO_GBK("；备用发信邮箱：") + second;
}

std::string AlertCourier::TryMailOver(const MailAccount& a, const std::string& to,
                                      const Alert* alert) {
  std::string error = mail::AbortedText();
  mail_slot_.Run([&](mail::Session& session) {
    if (!session.Connect(a.server, a.user, a.password)) {
      error = FAHUO_GBK("连接邮箱失败：") + MailFailureText(session.LastConnectError());
      return;
    }
    error.clear();
    if (!alert) return;
    error = session.Send(alert->title, alert->text + FAHUO_GBK("\n\n（此邮件由发货程序自动发送）"),
                         to, a.user);
    if (!error.empty()) error = FAHUO_GBK("发送失败：") + MailFailureText(error);
  });
  return error;
}

std::string AlertCourier::TryWebhook(const AlertChannels& channels, const Alert& alert) {
  const PushFormat format = ChoosePushFormat(channels.webhook, channels.format);
  const WebhookRequest request =
      BuildWebhook(channels.webhook, format, GbkToUtf8(alert.title), GbkToUtf8(alert.text));
  const HttpClient::PostAnswer answer = http_.Post(request.url, request.content_type, request.body);
  // The URL carries the service's key: only its answer is told, never the URL.
  if (answer.status == 0) return Utf8ToGbk("无法连接推送网址：" + answer.error);
  if (!answer.error.empty()) {
    return Utf8ToGbk("推送网址答复 HTTP " + std::to_string(answer.status));
  }
  if (const auto refused = WebhookRefusal(format, answer.body)) {
    return Utf8ToGbk("推送服务拒绝：" + *refused);
  }
  return {};
}

bool AlertCourier::Wait(int seconds) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopped_; });
  return !stopped_;
}

void AlertCourier::Note(bool& failing, const char* channel_utf8, const std::string& error) {
  if (!log_) return;
  if (!error.empty() && !failing) {
    log_(Utf8ToGbk(channel_utf8) + FAHUO_GBK("失败，提醒未能送达：") + error + Eol());
  } else if (error.empty() && failing) {
    log_(Utf8ToGbk(channel_utf8) + FAHUO_GBK("已恢复") + Eol());
  }
  failing = !error.empty();
}

void AlertCourier::Deliver(const AlertChannels& channels, const Alert& alert) {
  // Each channel is tried at once; only those that failed are tried again, so a mailbox
  // that refuses never delays the push (and the other way round).
  const bool mail = !channels.mail_to.empty();
  const bool hook = !channels.webhook.empty();
  std::string mail_error = mail ? TryMail(channels, alert) : std::string();
  std::string hook_error = hook ? TryWebhook(channels, alert) : std::string();
  for (size_t i = 0; i < options_.retry_seconds.size(); ++i) {
    if (mail_error.empty() && hook_error.empty()) break;
    if (!Wait(options_.retry_seconds[i])) return;
    if (!mail_error.empty()) mail_error = TryMail(channels, alert);
    if (!hook_error.empty()) hook_error = TryWebhook(channels, alert);
  }
  if (!Wait(0)) return;  // stopped: the cut exchange is no channel failure
  if (mail) Note(mail_failing_, "提醒邮件", mail_error);
  if (hook) Note(webhook_failing_, "推送提醒", hook_error);
}

}  // namespace fahuo
