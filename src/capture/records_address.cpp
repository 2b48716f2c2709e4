#include "capture/records_address.h"

#include <mutex>

namespace fahuo {
namespace {
std::mutex g_mutex;
std::string g_base = "https://consumeprod.alipay.com";
}  // namespace

std::string RecordsBase() {
  std::lock_guard lock(g_mutex);
  return g_base;
}

void SetRecordsBase(const std::string& base) {
  std::string b = base;
  while (!b.empty() && b.back() == '/') b.pop_back();
  std::lock_guard lock(g_mutex);
  g_base = b;
}

std::string RecordsStartAddress() { return RecordsBase() + "/record/standard.htm"; }

std::string RecordsHost() {
  std::string base = RecordsBase();
  size_t start = base.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = base.find_first_of(":/", start);
  return base.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace fahuo
