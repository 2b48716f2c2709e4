#pragma once
// The activity log kept on disk: one file a day, "fahuo-YYYY-MM-DD.log" (local date), in
// UTF-8 so that any editor reads it, lines ending in CR LF. Each entry is written with
// one write() call as soon as it is given (the program may be killed at any moment), and
// is preceded once by its local date and time, "YYYY-MM-DD HH:MM:SS ". Files of that name
// older than kLogKeepDays days are removed; nothing else in the folder is touched.
#include <mutex>
#include <string>

#include "platform/clock.h"

namespace fahuo {

inline constexpr int kLogKeepDays = 90;

class LogFiles {
 public:
  // `folder` is created when missing (also later, should it go away). Old files are
  // removed now and whenever the date changes. Neither throws nor blocks for long.
  LogFiles(std::string folder, const Clock& clock);
  ~LogFiles();
  LogFiles(const LogFiles&) = delete;
  LogFiles& operator=(const LogFiles&) = delete;

  // Appends `gbk_entry` (GBK, normally ending in CR LF; one is added when it does not) to
  // today's file, by the clock's wall time. Returns empty text, or, when today's file
  // cannot be opened or written, the note for the log box "日志文件无法写入：<why>" (GBK,
  // ending in CR LF); after that the day's entries are dropped without another note, and
  // the next day's file is tried afresh. Thread-safe; never throws.
  std::string Write(const std::string& gbk_entry);

  // The day file's name for a date: "fahuo-2015-01-06.log".
  static std::string FileName(const LocalDate& date);

 private:
  void RemoveOldFiles(const LocalDate& today);
  std::string OpenDay(const LocalDate& day);  // empty, or why it failed (UTF-8)

  std::mutex mutex_;
  const std::string folder_;
  const Clock& clock_;
  int fd_ = -1;
  bool have_day_ = false;  // day_ is the date of the open file or of the failed attempt
  bool day_failed_ = false;
  LocalDate day_;
};

}  // namespace fahuo
