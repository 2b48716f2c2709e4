// --help and --version of both programs answer without a display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "fahuo_version.h"
#include "test_support.h"

namespace fahuo {
namespace {

struct InfoCase {
  const char* program;
  const char* option;
  const char* want_in_output;  // nullptr: the version
};

TEST(ProgramInfo, HelpAndVersionWorkWithoutADisplay) {
  const InfoCase cases[] = {
      {"fahuo", "--version", nullptr},
      {"fahuo", "--help", "--data-dir"},
      {"fahuo-cli", "--version", nullptr},
      {"fahuo-cli", "--help", "scrape"},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.option);
    testing::TempDir dir;
    // The desktop platform with no display to reach: creating the GUI would abort.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" +
                                testing::BinaryDir() + "/bin/" + c.program + "' " + c.option +
                                " >'" + dir.File("out") + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string out = testing::ReadFileBytes(dir.File("out"));
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find(c.want_in_output ? c.want_in_output : FAHUO_VERSION), std::string::npos)
        << out;
    if (!c.want_in_output) {
      EXPECT_NE(out.find("GPL-3.0-or-later"), std::string::npos) << out;
    }
  }
}

}  // namespace
}  // namespace fahuo
