// MailClient against a real SMTP server (tools/smtp_sink.py on aiosmtpd) on loopback.
#include "platform/mail_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::ChildProcess;
using testing::ReadFileBytes;
using testing::StartPythonService;
using testing::TempDir;

const char kUser[] = "seller@example.com";
const char kPassword[] = "auth-code-123";

// One received message, as the sink's log.jsonl line describes it.
struct Received {
  std::string line;

  // The value of a string field, JSON escapes undone (the sink writes UTF-8 as is).
  std::string Str(const std::string& key) const {
    size_t p = line.find("\"" + key + "\": \"");
    if (p == std::string::npos) return "<missing " + key + ">";
    std::string out;
    for (p += key.size() + 5; p < line.size() && line[p] != '"'; ++p) {
      if (line[p] != '\\') {
        out += line[p];
      } else if (line[++p] == 'u') {  // the sink escapes only control characters this way
        out += static_cast<char>(std::stoul(line.substr(p + 1, 4), nullptr, 16));
        p += 4;
      } else {
        const std::string from = "nrt", to = "\n\r\t";
        size_t i = from.find(line[p]);
        out += i == std::string::npos ? line[p] : to[i];
      }
    }
    return out;
  }
  // A number or true/false field as written ("1", "true").
  std::string Raw(const std::string& key) const {
    size_t p = line.find("\"" + key + "\": ");
    if (p == std::string::npos) return "";
    p += key.size() + 4;
    return line.substr(p, line.find_first_of(",}", p) - p);
  }
};

class Sink {
 public:
  explicit Sink(std::vector<std::string> args) {
    args.insert(args.end(), {"--maildir", dir_.path()});
    port_ = StartPythonService(child_, "smtp_sink.py", args);
  }
  int port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<Received> Mails() const {
    std::vector<Received> out;
    std::istringstream in(ReadFileBytes(dir_.File("log.jsonl")));
    for (std::string l; std::getline(in, l);) out.push_back({l});
    return out;
  }
  std::string RawMail(const Received& r) const { return ReadFileBytes(dir_.File(r.Str("file"))); }

 private:
  TempDir dir_;
  ChildProcess child_;
  int port_ = 0;
};

std::vector<std::string> AuthArgs() { return {"--user", kUser, "--password", kPassword}; }

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// Shorter than the program's time-outs, so a failing test does not hang for minutes.
mail::Options TestOptions(std::string extra_ca_file = "") {
  return {.step_ms = 5000, .total_ms = 20000, .extra_ca_file = std::move(extra_ca_file)};
}

class MailClientTest : public ::testing::Test {
 protected:
  mail::Session session_{TestOptions()};
};

TEST_F(MailClientTest, ConnectReportsWhetherServerAndLoginWereAccepted) {
  Sink sink(AuthArgs());
  ASSERT_NE(sink.port(), 0);
  const std::string free_port = "127.0.0.1:" + std::to_string(FreePort());
  struct Case {
    const char* name;
    std::string server, user, password;
    bool ok;
  } cases[] = {
      {"right account", sink.Address(), kUser, kPassword, true},
      {"blanks around the server", "  " + sink.Address() + " ", kUser, kPassword, true},
      {"smtp:// prefix", "smtp://" + sink.Address(), kUser, kPassword, true},
      {"wrong password", sink.Address(), kUser, "wrong", false},
      {"unknown user", sink.Address(), "nobody@example.com", kPassword, false},
      {"nothing listening", free_port, kUser, kPassword, false},
      {"all fields empty", "", "", "", false},
      {"port not a number", "127.0.0.1:smtp", kUser, kPassword, false},
      {"port out of range", "127.0.0.1:70000", kUser, kPassword, false},
      {"blank inside the host", "127.0.0.1 x", kUser, kPassword, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(session_.Connect(c.server, 25, c.user, c.password), c.ok)
        << session_.LastConnectError();
    EXPECT_EQ(session_.LastConnectError().empty(), c.ok);
  }
  ASSERT_FALSE(session_.Connect(sink.Address(), 25, kUser, "wrong"));
  EXPECT_NE(session_.LastConnectError().find("535"), std::string::npos)
      << "the server's refusal is kept: " << session_.LastConnectError();
}

TEST_F(MailClientTest, TestMailArrivesDecodedExactly) {
  Sink sink(AuthArgs());
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword)) << session_.LastConnectError();
  EXPECT_EQ(session_.Send(FAHUO_GBK("自动发货测试邮件"), FAHUO_GBK("测试成功，可以正常使用。"),
                          "buyer@example.com", kUser),
            "");
  auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Str("subject"), "自动发货测试邮件");
  EXPECT_EQ(mails[0].Str("body"), "测试成功，可以正常使用。");
  EXPECT_EQ(mails[0].Str("mail_from"), kUser);
  EXPECT_NE(mails[0].line.find("\"rcpt_tos\": [\"buyer@example.com\"]"), std::string::npos);
  const std::string raw = sink.RawMail(mails[0]);
  for (const char* header :
       {"From: seller@example.com\r\n", "To: buyer@example.com\r\n",
        "\r\nDate: ", "\r\nMessage-ID: <", "@example.com>\r\n", "MIME-Version: 1.0\r\n",
        "Content-Type: text/plain; charset=UTF-8\r\n", "Content-Transfer-Encoding: base64\r\n"}) {
    EXPECT_NE(raw.find(header), std::string::npos) << header << " missing in\n" << raw;
  }
}

TEST_F(MailClientTest, AwkwardContentSurvivesTheTrip) {
  Sink sink(AuthArgs());
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword)) << session_.LastConnectError();
  struct Case {
    const char* name;
    std::string subject, body;  // UTF-8
  } cases[] = {
      {"lone dots and dot lines", "点", ".\r\n..\r\n.leading dot\r\nend\r\n."},
      {"long subject folds into several words",
       std::string(40, 'a') + std::string(30, 'x') + "教程下载地址与提取码请查收谢谢惠顾欢迎再来",
       "x"},
      {"a 1700-byte line", "long", std::string(1000, 'y') + std::string(700, 'z') + "网盘"},
      {"bare LF and tabs kept", "tabs\tin subject", "a\nb\tc\n"},
      {"empty subject and body", "", ""},
      {"text that looks like placeholders", "{name} %s $1", "链接：{link} %d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(session_.Send(Utf8ToGbk(c.subject), Utf8ToGbk(c.body), "b@example.com", kUser), "");
  }
  auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), std::size(cases));
  for (size_t i = 0; i < mails.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(mails[i].Str("subject"), cases[i].subject);
    EXPECT_EQ(mails[i].Str("body"), cases[i].body);
  }
}

TEST_F(MailClientTest, RejectedRecipientGivesTheServersTextAndLaterSendsStillWork) {
  Sink sink({"--user", kUser, "--password", kPassword, "--reject-rcpt", "^nobody@"});
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword));
  std::string error = session_.Send("s", "b", "nobody@example.com", kUser);
  EXPECT_NE(error.find("550"), std::string::npos) << error;
  EXPECT_NE(error.find("Recipient address rejected"), std::string::npos) << error;
  EXPECT_EQ(session_.Send("s", "b", "buyer@example.com", kUser), "");
  ASSERT_EQ(sink.Mails().size(), 1u);
}

TEST_F(MailClientTest, SendsAfterOneConnectLogInOnce) {
  Sink sink(AuthArgs());
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword));
  EXPECT_EQ(session_.Send("1", "b", "a@example.com", kUser), "");
  EXPECT_EQ(session_.Send("2", "b", "a@example.com", kUser), "");
  auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[1].Raw("total_auth"), "1");
  EXPECT_EQ(mails[0].Raw("peer_port"), mails[1].Raw("peer_port")) << "one connection";
}

TEST_F(MailClientTest, SendAfterDisconnectLogsInAgainWithTheSameAccount) {
  // Disconnect keeps the account: the next Send logs in again instead of failing.
  Sink sink(AuthArgs());
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword));
  session_.Disconnect();
  EXPECT_EQ(session_.Send("s", "b", "a@example.com", kUser), "");
  auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Raw("total_auth"), "2");
}

TEST_F(MailClientTest, SendWithoutSuccessfulConnectIsRefused) {
  ASSERT_FALSE(session_.Connect("127.0.0.1:" + std::to_string(FreePort()), kUser, kPassword));
  EXPECT_NE(session_.Send("s", "b", "a@example.com", kUser), "");
}

TEST_F(MailClientTest, LineBreaksAndNulThatCouldInjectAreRefusedBeforeSending) {
  Sink sink(AuthArgs());
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword));
  struct Case {
    const char* name;
    std::string subject, recipient, sender;
  } cases[] = {
      {"CR LF in recipient", "s", "a@example.com\r\nRCPT TO:<x@example.com>", kUser},
      {"LF in recipient", "s", "a@example.com\nBcc: x@example.com", kUser},
      {"NUL in recipient", "s", std::string("a@example.com\0x", 15), kUser},
      {"LF in subject", "s\nBcc: x@example.com", "a@example.com", kUser},
      {"CR in subject", "s\rX-Evil: 1", "a@example.com", kUser},
      {"LF in sender", "s", "a@example.com", std::string(kUser) + "\nBcc: x@example.com"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(session_.Send(c.subject, "body", c.recipient, c.sender), "");
  }
  EXPECT_TRUE(sink.Mails().empty());
}

TEST_F(MailClientTest, TlsIsUsedAndTheCertificateChecked) {
  TempDir dir;
  const std::string cert = dir.File("cert.pem"), key = dir.File("key.pem");
  const std::string make_cert =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
      " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make_cert.c_str()), 0);
  struct Case {
    const char* name;
    const char* sink_option;
    std::string scheme;
  } cases[] = {
      {"STARTTLS offered on a plain port", "--starttls", ""},
      {"implicit TLS", "--tls", "smtps://"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sink sink({"--user", kUser, "--password", kPassword, c.sink_option, cert, key});
    ASSERT_NE(sink.port(), 0);
    const std::string server = c.scheme + sink.Address();
    EXPECT_FALSE(session_.Connect(server, kUser, kPassword)) << "untrusted certificate";
    mail::Session trusting(TestOptions(cert));
    ASSERT_TRUE(trusting.Connect(server, kUser, kPassword)) << trusting.LastConnectError();
    EXPECT_EQ(trusting.Send(FAHUO_GBK("自动发货测试邮件"), "b", "a@example.com", kUser), "");
    auto mails = sink.Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].Raw("tls"), "true");
    EXPECT_EQ(mails[0].Str("subject"), "自动发货测试邮件");
  }
}

// The machine's first non-loopback IPv4 address, empty if it has none.
std::string OwnAddress() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return "";
  std::string found;
  for (ifaddrs* i = list; i && found.empty(); i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    auto* in = reinterpret_cast<sockaddr_in*>(i->ifa_addr);
    if ((ntohl(in->sin_addr.s_addr) >> 24) == 127) continue;
    char text[INET_ADDRSTRLEN];
    found = inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  }
  freeifaddrs(list);
  return found;
}

TEST_F(MailClientTest, PasswordIsNotSentInTheClearToAnotherMachine) {
  const std::string own = OwnAddress();
  if (own.empty()) GTEST_SKIP() << "no non-loopback address";
  Sink sink({"--host", own, "--user", kUser, "--password", kPassword});
  ASSERT_NE(sink.port(), 0);
  EXPECT_FALSE(session_.Connect(own + ":" + std::to_string(sink.port()), kUser, kPassword));
  EXPECT_TRUE(session_.Connect(own + ":" + std::to_string(sink.port()), "", ""))
      << "without a login plain SMTP is fine: " << session_.LastConnectError();
}

TEST_F(MailClientTest, SilentServerIsAbandonedAfterTheTimeOut) {
  Sink sink({"--silent"});
  ASSERT_NE(sink.port(), 0);
  mail::Options quick;
  quick.step_ms = 1000;
  quick.total_ms = 3000;
  mail::Session session(quick);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(session.Connect(sink.Address(), kUser, kPassword));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// Each job owns its session: jobs mailing at once never wait on or reset each other.
TEST_F(MailClientTest, SessionsAreIndependent) {
  Sink sink(AuthArgs());
  auto worker = [&](char tag) {
    mail::Session session(TestOptions());
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(session.Connect(sink.Address(), kUser, kPassword));
      EXPECT_EQ(session.Send(std::string(1, tag), "b", "a@example.com", kUser), "");
    }
  };
  std::thread a(worker, 'a'), b(worker, 'b');
  a.join();
  b.join();
  EXPECT_EQ(sink.Mails().size(), 6u);

  mail::Session other(TestOptions());
  ASSERT_TRUE(session_.Connect(sink.Address(), kUser, kPassword));
  ASSERT_TRUE(other.Connect(sink.Address(), kUser, kPassword));
  other.Disconnect();
  EXPECT_EQ(session_.Send("kept", "b", "a@example.com", kUser), "");
  auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 7u);
  EXPECT_EQ(mails[6].Raw("total_auth"), "8") << "the other's Disconnect made this one log in again";
}

// The end of the program must not wait out a server that says nothing.
TEST_F(MailClientTest, AbortEndsAHungExchangeAtOnce) {
  Sink sink({"--silent"});
  ASSERT_NE(sink.port(), 0);
  mail::Session session;  // the program's 15 s step time-out: only Abort can end it sooner
  std::thread aborter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    session.Abort();
  });
  auto start = std::chrono::steady_clock::now();
  const bool connected = session.Connect(sink.Address(), kUser, kPassword);
  auto waited = std::chrono::steady_clock::now() - start;
  aborter.join();
  EXPECT_FALSE(connected);
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(session.LastConnectError(), mail::AbortedText());
  EXPECT_EQ(session.Send("s", "b", "a@example.com", kUser), mail::AbortedText());
}

}  // namespace
}  // namespace fahuo
