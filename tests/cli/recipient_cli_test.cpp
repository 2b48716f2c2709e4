// fahuo-cli recipient, run as a program: its output and exit codes are a contract.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace fahuo::testing {
namespace {

TEST(RecipientCliTest, PrintsAddressOrSkipKind) {
  const std::string cli = BinaryDir() + "/bin/fahuo-cli";
  struct Case {
    const char* name;
    const char* note;
    int exit_code;
    const char* out;
    const char* err = "";
  };
  for (const Case& c :
       {Case{"请发 a@b.com 谢谢", "教程", 0, "a@b.com\n"},
        Case{"QQ 123456789", "教程", 0, "123456789@qq.com\n"},
        Case{"a@b.com", "", 2, "skip-no-note\n"}, Case{"1234 5678", "教程", 2, "skip-not-qq\n"},
        Case{"123456789012", "教程", 2, "skip-not-qq\n"},
        Case{"a@x.example,b@y.example", "教程", 2, "skip-invalid-address\n"},
        Case{"a＠qq。con", "教程", 0, "a@qq.com\n", "corrected: a@qq.con -> a@qq.com\n"},
        Case{"a@qqq.com", "教程", 2, "skip-suspect-address\n", "suggestion: a@qq.com\n"}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string command = Quoted(cli) + " recipient " + Quoted(c.name) + " " + Quoted(c.note) +
                          " >" + Quoted(dir.File("out")) + " 2>" + Quoted(dir.File("err"));
    int status = std::system(command.c_str());
    ASSERT_TRUE(status != -1 && WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.exit_code);
    EXPECT_EQ(ReadFileBytes(dir.File("out")), c.out);
    EXPECT_EQ(ReadFileBytes(dir.File("err")), c.err);
  }
}

}  // namespace
}  // namespace fahuo::testing
