// A second fahuo on the same data folder must not run beside the first (both would mail
// every buyer): it brings the running window to the front, says so and ends with status 0.
// A copy that was killed leaves no lock behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "test_support.h"

namespace fahuo::testing {
namespace {

// Runs fahuo on `folder` to its end; returns its exit status and what it printed.
int RunSecond(const std::string& folder, std::string& printed) {
  const std::string cmd =
      BinaryDir() + "/bin/fahuo --data-dir '" + folder + "' --records-base http://127.0.0.1:9 2>&1";
  printed.clear();
  FILE* out = popen(cmd.c_str(), "r");
  if (!out) return -1;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, out)) printed.append(buf, n);
  int status = pclose(out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits until the first copy is up: it opens its ledger only after taking the lock (taking
// the lock here to probe it could turn the first copy away).
bool WaitForLockHeld(const std::string& folder) {
  for (int i = 0; i < 600; ++i) {
    if (access((folder + "/fahuo.db").c_str(), F_OK) == 0) return true;
    usleep(100 * 1000);
  }
  return false;
}

TEST(SecondCopyTest, SecondStartOnTheSameFolderShowsTheFirstAndEnds) {
  TempDir top;
  struct {
    std::string dir;
    const std::string& path() const { return dir; }
  } folder{top.path() + "/data"};  // a new folder: a first start, no question box
  ChildProcess first;
  ASSERT_TRUE(first.Start({BinaryDir() + "/bin/fahuo", "--data-dir", folder.path(),
                           "--records-base", "http://127.0.0.1:9"}));
  ASSERT_TRUE(WaitForLockHeld(folder.path()));
  std::string printed;
  int status = -1;
  for (int i = 0; i < 60; ++i) {  // until the first copy listens
    status = RunSecond(folder.path(), printed);
    if (printed.find("已切换到正在运行的窗口") != std::string::npos) break;
    usleep(500 * 1000);
  }
  EXPECT_EQ(status, 0);
  EXPECT_NE(printed.find("fahuo 已在运行"), std::string::npos) << printed;
  EXPECT_NE(printed.find("已切换到正在运行的窗口"), std::string::npos) << printed;

  // Killed, the first copy holds nothing: a new start runs (and is stopped by us).
  first.Kill();
  unlink((folder.path() + "/fahuo.db").c_str());
  ChildProcess again;
  ASSERT_TRUE(again.Start({BinaryDir() + "/bin/fahuo", "--data-dir", folder.path(),
                           "--records-base", "http://127.0.0.1:9"}));
  ASSERT_TRUE(WaitForLockHeld(folder.path()));
  EXPECT_EQ(RunSecond(folder.path(), printed), 0);
  EXPECT_NE(printed.find("fahuo 已在运行"), std::string::npos) << printed;
  again.Kill();
}

}  // namespace
}  // namespace fahuo::testing
