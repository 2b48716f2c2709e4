#include "platform/log_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "app/core/activity_log.h"
#include "fake_clock.h"
#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kDayMs = 86400000;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

class LogFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The fake clock's wall time starts at 2015-01-06 00:00 UTC; read it as local time.
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  testing::TempDir dir_;
  FakeClock clock_;
};

TEST_F(LogFilesTest, StampedUtf8LinesInTheDaysFileAndOldFilesRemoved) {
  const std::string logs = dir_.File("logs");
  fs::create_directories(logs);
  // 2015-01-06 less 90 days is 2014-10-08: kept; a day older goes.
  const std::vector<std::string> kept = {"fahuo-2014-10-08.log", "fahuo-2014-01-01.log.bak",
                                         "fahuo-2014-1-1.log",   "other-2014-01-01.log",
                                         "fahuo-2014-02-30.log", "notes.txt"};
  for (const std::string& name : kept) Touch(logs + "/" + name);
  Touch(logs + "/fahuo-2014-10-07.log");
  Touch(logs + "/fahuo-2013-12-31.log");

  ActivityLog log;
  LogFiles files(logs, clock_);
  log.SetFileSink([&files](const std::string& e) { return files.Write(e); });
  EXPECT_FALSE(fs::exists(logs + "/fahuo-2014-10-07.log"));
  EXPECT_FALSE(fs::exists(logs + "/fahuo-2013-12-31.log"));
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(logs + "/" + name)) << name;

  clock_.SetTick((3600 + 120 + 3) * 1000);
  log.Append(Utf8ToGbk("发现新账单\r\n"));
  log.Append(Utf8ToGbk("第一行\r\n第二行\r\n"));  // one entry, one stamp
  log.Append("no end of line");
  EXPECT_EQ(ReadAll(logs + "/fahuo-2015-01-06.log"),
            "2015-01-06 01:02:03 发现新账单\r\n"
            "2015-01-06 01:02:03 第一行\r\n第二行\r\n"
            "2015-01-06 01:02:03 no end of line\r\n");
  EXPECT_EQ(log.Text(), Utf8ToGbk("发现新账单\r\n第一行\r\n第二行\r\n") + "no end of line");

  // The next day: a new file, and the 90-day-old file of yesterday is now too old.
  clock_.Advance(kDayMs);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&log, t] {
      for (int i = 0; i < 200; ++i)
        log.Append(std::to_string(t) + " " + std::to_string(i) + "\r\n");
    });
  }
  for (auto& w : writers) w.join();
  std::istringstream day2(ReadAll(logs + "/fahuo-2015-01-07.log"));
  int lines = 0;
  for (std::string line; std::getline(day2, line); ++lines) {
    ASSERT_TRUE(line.starts_with("2015-01-07 01:02:03 ") && line.ends_with("\r")) << line;
  }
  EXPECT_EQ(lines, 800);
  EXPECT_FALSE(fs::exists(logs + "/fahuo-2014-10-08.log"));
  EXPECT_TRUE(fs::exists(logs + "/fahuo-2015-01-06.log"));
}

TEST_F(LogFilesTest, UnwritableFolderGivesOneNoteAndTheNextDayTriesAgain) {
  const std::string logs = dir_.File("logs");
  Touch(logs);  // a file where the folder should be: even root cannot write below it
  ActivityLog log;
  std::vector<std::string> shown;
  log.SetSink([&shown](const std::string& e) { shown.push_back(e); });
  LogFiles files(logs, clock_);
  log.SetFileSink([&files](const std::string& e) { return files.Write(e); });

  log.Append("a\r\n");
  log.Append("b\r\n");
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "a\r\n");
  EXPECT_TRUE(GbkToUtf8(shown[1]).starts_with("日志文件无法写入：" + logs)) << GbkToUtf8(shown[1]);
  EXPECT_TRUE(shown[1].ends_with("\r\n"));
  EXPECT_EQ(shown[2], "b\r\n");
  EXPECT_EQ(log.Text(), shown[0] + shown[1] + shown[2]);

  fs::remove(logs);
  clock_.Advance(kDayMs);
  log.Append("c\r\n");
  EXPECT_EQ(shown.size(), 4u);
  EXPECT_EQ(ReadAll(logs + "/fahuo-2015-01-07.log"), "2015-01-07 00:00:00 c\r\n");
}

}  // namespace
}  // namespace fahuo
