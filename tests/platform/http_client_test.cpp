#include "platform/http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

HttpOptions Timeouts(long connect_ms, long total_ms) {
  HttpOptions options;
  options.connect_ms = connect_ms;
  options.total_ms = total_ms;
  return options;
}

// The fake records service serves records ("J-item" rows) only to its session cookie.
class HttpClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = new testing::ChildProcess;
    port_ = testing::StartPythonService(*service_, "fake_records.py",
                                        {"--port", "0", "--pages", "1", "--per-page", "2"});
  }
  static void TearDownTestSuite() {
    delete service_;
    service_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(port_, 0) << "fake records service did not start";
    ASSERT_FALSE(Control("reset").empty());
  }

  static std::string Base(const std::string& host) {
    return "http://" + host + ":" + std::to_string(port_);
  }
  static std::string Records(const std::string& host = "127.0.0.1") {
    return Base(host) + "/record/standard.htm?pageNum=1";
  }
  std::string Control(const std::string& what) {
    return http_.Get(Base("127.0.0.1") + "/_control/" + what);
  }
  static bool IsRecordsPage(const std::string& body) {
    return body.find("J-item") != std::string::npos;
  }
  // A session the browser would hold: its token, without the client having seen it.
  std::string NewSessionToken() {
    std::string answer = Control("signin");
    http_.ClearCookies();  // the answer's Set-Cookie went into the jar; the test sets it itself
    size_t eq = answer.find('=');
    return eq == std::string::npos ? "" : answer.substr(eq + 1, answer.find('\n') - eq - 1);
  }
  static HttpCookie SessionCookie(const std::string& token) {
    HttpCookie c;
    c.name = "ALIPAYJSESSIONID";
    c.value = token;
    c.domain = "127.0.0.1";
    c.http_only = true;
    return c;
  }

  HttpClient http_;
  static testing::ChildProcess* service_;
  static int port_;
};

testing::ChildProcess* HttpClientTest::service_ = nullptr;
int HttpClientTest::port_ = 0;

TEST_F(HttpClientTest, CarriesTheBrowsersCookieToItsHostOnly) {
  EXPECT_FALSE(IsRecordsPage(http_.Get(Records())));
  std::string token = NewSessionToken();
  ASSERT_FALSE(token.empty());
  http_.SetCookie(SessionCookie(token));

  EXPECT_TRUE(IsRecordsPage(http_.Get(Records())));
  EXPECT_NE(Control("stats").find(token), std::string::npos);

  // Same server under another host name: the cookie rules keep the cookie back.
  std::string foreign = http_.Get(Records("localhost"));
  EXPECT_FALSE(foreign.empty());
  EXPECT_FALSE(IsRecordsPage(foreign));
  EXPECT_EQ(Control("stats").find(token), std::string::npos);

  http_.RemoveCookie(SessionCookie(token));
  EXPECT_FALSE(IsRecordsPage(http_.Get(Records())));
}

TEST_F(HttpClientTest, KeepsCookiesThatResponsesSet) {
  // The sign-in answers with a redirect that sets the cookie; later requests carry it.
  std::string centre = http_.Get(Base("127.0.0.1") + "/login?auto=1");
  EXPECT_NE(centre.find(Utf8ToGbk("登录中心 － 支付宝")), std::string::npos);
  EXPECT_TRUE(IsRecordsPage(http_.Get(Records())));
}

TEST_F(HttpClientTest, SendsTheBrowsersUserAgent) {
  http_.SetUserAgent("Mozilla/5.0 FahuoTest/1.0");
  http_.Get(Records());
  EXPECT_NE(Control("stats").find("FahuoTest/1.0"), std::string::npos);
}

struct FailureCase {
  const char* name;
  const char* fault;  // fault query for the records page; empty: use `url` instead
  const char* url;
};

class HttpFailureTest : public HttpClientTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(HttpFailureTest, GivesEmptyBody) {
  const FailureCase& c = GetParam();
  HttpClient http(Timeouts(2000, 2000));
  std::string url = c.url;
  if (*c.fault) {
    ASSERT_FALSE(Control(std::string("fault?") + c.fault).empty());
    url = Records();
  }
  EXPECT_EQ(http.Get(url), "");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, HttpFailureTest,
    ::testing::Values(FailureCase{"ServerError", "kind=500", ""},
                      FailureCase{"ConnectionDropped", "kind=drop", ""},
                      FailureCase{"AnswerTooSlow", "kind=slow&delay=6", ""},
                      // Far beyond any records page: cut at the cap, not read to the end.
                      FailureCase{"OversizedChunked", "kind=huge", ""},
                      FailureCase{"OversizedWithLength", "kind=hugelength", ""},
                      FailureCase{"GzipBomb", "kind=gzipbomb", ""},
                      FailureCase{"NotHttp", "", "file:///etc/hostname"},
                      FailureCase{"NoScheme", "", "127.0.0.1/record/standard.htm"},
                      FailureCase{"Empty", "", ""},
                      FailureCase{"NothingListening", "", "http://127.0.0.1:1/"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(HttpClientTimeoutTest, AbandonsAServerThatNeverAnswers) {
  // A listening socket that is never accepted from: the connection is made, no answer comes.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), len), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  HttpClient http(Timeouts(1000, 1000));
  auto start = std::chrono::steady_clock::now();
  std::string body = http.Get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/");
  auto waited = std::chrono::steady_clock::now() - start;
  close(fd);
  EXPECT_EQ(body, "");
  EXPECT_LT(waited, std::chrono::seconds(20));  // it gave up instead of waiting for ever
}

TEST_F(HttpClientTest, SeveralThreadsAtOnce) {
  http_.SetCookie(SessionCookie(NewSessionToken()));
  std::vector<std::thread> threads;
  std::vector<int> ok(8, 0);
  for (size_t i = 0; i < ok.size(); ++i) {
    threads.emplace_back([this, &ok, i] {
      for (int n = 0; n < 5; ++n) ok[i] += IsRecordsPage(http_.Get(Records())) ? 1 : 0;
    });
  }
  for (auto& t : threads) t.join();
  for (int n : ok) EXPECT_EQ(n, 5);
}

TEST(HttpClientTlsTest, VerifiesCertificates) {
  testing::TempDir dir;
  std::string cert = dir.File("cert.pem"), key = dir.File("key.pem");
  std::string cmd =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a test certificate";
  testing::ChildProcess service;
  int port = testing::StartPythonService(service, "fake_records.py",
                                         {"--port", "0", "--open", "--tls", cert, key});
  ASSERT_NE(port, 0);
  std::string url = "https://127.0.0.1:" + std::to_string(port) + "/record/standard.htm";
  EXPECT_EQ(HttpClient().Get(url), "") << "a self-signed certificate must not be trusted";
  HttpClient trusting(HttpOptions{.extra_ca_file = cert});
  EXPECT_NE(trusting.Get(url).find("J-item"), std::string::npos);
}

}  // namespace
}  // namespace fahuo
