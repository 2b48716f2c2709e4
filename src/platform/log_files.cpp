#include "platform/log_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/gbk.h"

namespace fahuo {
namespace {

namespace fs = std::filesystem;

struct LocalStamp {
  LocalDate date;
  int hour = 0, minute = 0, second = 0;
};

LocalStamp LocalTimeOf(int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return {};
  return {{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
          local.tm_hour,
          local.tm_min,
          local.tm_sec};
}

std::chrono::sys_days DaysOf(const LocalDate& d) {
  using namespace std::chrono;
  return sys_days{year{d.year} / month{static_cast<unsigned>(d.month)} /
                  day{static_cast<unsigned>(d.day)}};
}

int Digits(const std::string& text, size_t pos, size_t count) {
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// The date in a name of exactly the form "fahuo-YYYY-MM-DD.log", if it is one.
std::optional<LocalDate> DateOfLogName(const std::string& name) {
  static const std::string kPrefix = "fahuo-";
  static const std::string kSuffix = ".log";
  if (name.size() != kPrefix.size() + 10 + kSuffix.size()) return std::nullopt;
  if (name.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  if (name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return std::nullopt;
  }
  const size_t p = kPrefix.size();
  if (name[p + 4] != '-' || name[p + 7] != '-') return std::nullopt;
  const LocalDate d{Digits(name, p, 4), Digits(name, p + 5, 2), Digits(name, p + 8, 2)};
  if (d.year < 0 || d.month < 0 || d.day < 0) return std::nullopt;
  using namespace std::chrono;
  const year_month_day ymd{year{d.year}, month{static_cast<unsigned>(d.month)},
                           day{static_cast<unsigned>(d.day)}};
  if (!ymd.ok()) return std::nullopt;
  return d;
}

std::string Stamp(const LocalStamp& s) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d ", s.date.year, s.date.month,
                s.date.day, s.hour, s.minute, s.second);
  return text;
}

// 0, or the errno of the failed write.
int WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// strerror's text, without its thread-safety doubts.
std::string ErrorText(int error) { return std::generic_category().message(error); }

}  // namespace

LogFiles::LogFiles(std::string folder, const Clock& clock)
    : folder_(std::move(folder)), clock_(clock) {
  try {
    RemoveOldFiles(LocalTimeOf(clock_.UnixSeconds()).date);
  } catch (...) {
    // A folder we cannot list keeps its files; logging goes on.
  }
}

LogFiles::~LogFiles() {
  if (fd_ >= 0) ::close(fd_);
}

std::string LogFiles::FileName(const LocalDate& date) {
  char name[64];
  std::snprintf(name, sizeof name, "fahuo-%04d-%02d-%02d.log", date.year, date.month, date.day);
  return name;
}

void LogFiles::RemoveOldFiles(const LocalDate& today) {
  std::error_code ec;
  fs::directory_iterator it(folder_, ec);
  if (ec) return;
  const auto oldest_kept = DaysOf(today) - std::chrono::days{kLogKeepDays};
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return;
    const std::optional<LocalDate> date = DateOfLogName(it->path().filename().string());
    if (!date || DaysOf(*date) >= oldest_kept) continue;
    std::error_code ignored;
    if (it->is_regular_file(ignored)) fs::remove(it->path(), ignored);
  }
}

std::string LogFiles::OpenDay(const LocalDate& day) {
  std::error_code ec;
  fs::create_directories(folder_, ec);  // a failure shows in the open below
  const std::string path = folder_ + "/" + FileName(day);
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd_ < 0) return path + ": " + ErrorText(errno);
  return {};
}

std::string LogFiles::Write(const std::string& gbk_entry) {
  try {
    std::lock_guard lock(mutex_);
    const LocalStamp now = LocalTimeOf(clock_.UnixSeconds());
    std::string why;
    if (!have_day_ || !(now.date == day_)) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = -1;
      if (have_day_) RemoveOldFiles(now.date);
      have_day_ = true;
      day_ = now.date;
      why = OpenDay(day_);
      day_failed_ = !why.empty();
    } else if (day_failed_) {
      return {};
    }
    if (why.empty()) {
      std::string line = Stamp(now) + GbkToUtf8(gbk_entry);
      if (line.back() != '\n') line += "\r\n";  // the next stamp starts a line
      if (const int error = WriteAll(fd_, line)) {
        why = folder_ + "/" + FileName(day_) + ": " + ErrorText(error);
        ::close(fd_);
        fd_ = -1;
        day_failed_ = true;
      }
    }
    if (why.empty()) return {};
    // The system's message follows the locale, which may be a UTF-8 Chinese one; paths are
    // UTF-8 too.
    return FAHUO_GBK("日志文件无法写入：") + Utf8ToGbk(why) + "\r\n";
  } catch (...) {
    return {};  // out of memory: the entry is lost from the file, never from the box
  }
}

}  // namespace fahuo
