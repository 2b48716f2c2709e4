// fahuo-cli scrape, run as a program: its output and exit codes are a contract.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs fahuo-cli with `args` (already quoted), standard input from `stdin_path` if given.
RunResult RunCli(const std::string& args, const std::string& stdin_path = "") {
  testing::TempDir dir;
  const std::string out = dir.File("out");
  const std::string err = dir.File("err");
  std::string command = testing::Quoted(testing::BinaryDir() + "/bin/fahuo-cli") + " " + args +
                        " >" + testing::Quoted(out) + " 2>" + testing::Quoted(err);
  if (!stdin_path.empty()) command += " <" + testing::Quoted(stdin_path);
  RunResult result;
  const int status = std::system(command.c_str());
  if (status != -1 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = testing::ReadFileBytes(out);
  result.err = testing::ReadFileBytes(err);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string DataFile(const std::string& name) { return testing::TestDataDir() + "/" + name; }

TEST(ScrapeCliTest, PrintsOneJsonObjectPerBillInPageOrder) {
  const RunResult run = RunCli("scrape " + testing::Quoted(DataFile("records_page1.htm")));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[0],
            "{\"流水号\":\"202405122200140623347347957\",\"日期\":\"2024.05.1223:54\","
            "\"名称\":\"552211987\",\"对方\":\"张三\",\"金额\":\"+15.50\",\"状态\":\"交易成功\","
            "\"备注\":\"PS教程全集\",\"链接\":\"https://consume.records.example.com/record/"
            "detail.htm?bizType=TRADE&amp;tradeNo=202405122200140623347347957&amp;"
            "from=standard\"}");
  EXPECT_EQ(lines[19].rfind("{\"流水号\":\"202405082200140196002426399\",", 0), 0u);
}

TEST(ScrapeCliTest, ReadsStandardInputForDash) {
  const RunResult from_file = RunCli("scrape " + testing::Quoted(DataFile("records_saved.htm")));
  const RunResult from_stdin = RunCli("scrape -", DataFile("records_saved.htm"));
  EXPECT_EQ(from_stdin.exit_code, 0);
  EXPECT_EQ(Lines(from_stdin.out).size(), 3u);
  EXPECT_EQ(from_stdin.out, from_file.out);
}

struct ExitCase {
  const char* name;
  std::string args;
  int want_exit;
  bool want_error_text;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class ScrapeExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ScrapeExitTest, ExitsWithTheContractCodeAndPrintsNothing) {
  const ExitCase& c = GetParam();
  const RunResult run = RunCli(c.args);
  EXPECT_EQ(run.exit_code, c.want_exit);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(!run.err.empty(), c.want_error_text) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ScrapeExitTest,
    ::testing::Values(
        ExitCase{"SignInPageHasNoTable",
                 "scrape " + testing::Quoted(DataFile("records_signin.htm")), 2, false},
        ExitCase{"TableWithoutRecords", "scrape " + testing::Quoted(DataFile("records_empty.htm")),
                 0, false},
        ExitCase{"MissingFile", "scrape " + testing::Quoted(DataFile("no_such_page.htm")), 1, true},
        ExitCase{"FolderInsteadOfFile", "scrape " + testing::Quoted(testing::TestDataDir()), 1,
                 true},
        ExitCase{"NoFileArgument", "scrape", 1, true},
        ExitCase{"TwoFileArguments", "scrape a b", 1, true}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(ScrapeCliTest, EscapesJsonAndReplacesUndecodableBytes) {
  testing::TempDir dir;
  const std::string row =
      "<tr><td>d</td><td>n</td><td><p>x\"y\\z\nw\x01\x80</p><p title=\"7\">7</p></td>"
      "<td>o</td><td>1</td><td><a href=\"a?b=1&amp;c=2\">l</a></td><td>s</td><td></td></tr>";
  const std::string page = "<tr><th>h</th></tr>" + row;
  ASSERT_TRUE(testing::WriteFileBytes(dir.File("page.htm"), page));
  const RunResult run = RunCli("scrape " + testing::Quoted(dir.File("page.htm")));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "{\"流水号\":\"7\",\"日期\":\"d\",\"名称\":\"x\\\"y\\\\z\\nw\\u0001\xEF\xBF\xBD\","
            "\"对方\":\"o\",\"金额\":\"1\",\"状态\":\"s\",\"备注\":\"n\","
            "\"链接\":\"a?b=1&amp;c=2\"}\n");
}

}  // namespace
}  // namespace fahuo
