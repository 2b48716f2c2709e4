// fahuo-cli records-address [--host HOST] [--date YYYY-MM-DD]: the page-1 records address.
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/navigation.h"
#include "capture/records_address.h"
#include "cli/commands.h"
#include "platform/clock.h"

namespace fahuo::cli {
namespace {

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool ParseDate(const std::string& text, LocalDate& date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  date.year = std::stoi(text.substr(0, 4));
  date.month = std::stoi(text.substr(5, 2));
  date.day = std::stoi(text.substr(8, 2));
  return date.year >= 1 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
         date.day <= DaysInMonth(date.year, date.month);
}

}  // namespace

int RecordsAddress(int argc, char** argv) {
  LocalDate date = SystemClock().Today();
  RecordsSite site;
  for (int i = 0; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--host") == 0 && has_value) {
      std::string host = argv[++i];
      // A bare host means the service's https; a full base (http://127.0.0.1:8080) is kept.
      site = RecordsSite(host.find("://") == std::string::npos ? "https://" + host : host);
    } else if (std::strcmp(argv[i], "--date") == 0 && has_value) {
      if (!ParseDate(argv[++i], date)) {
        std::fprintf(stderr, "fahuo-cli: bad date '%s' (want YYYY-MM-DD)\n", argv[i]);
        return 1;
      }
    } else {
      std::fprintf(stderr, "usage: fahuo-cli records-address [--host HOST] [--date YYYY-MM-DD]\n");
      return 1;
    }
  }
  std::printf("%s\n", Page1Address(site, date).c_str());
  return 0;
}

}  // namespace fahuo::cli
