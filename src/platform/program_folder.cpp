#include "platform/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace fahuo {
namespace {

std::mutex g_mutex;
std::string g_folder = ".";

std::string WithoutTrailingSeparator(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool MakeDirs(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return std::filesystem::is_directory(dir, ec);
}

}  // namespace

std::string ProgramFolder() {
  std::lock_guard lock(g_mutex);
  return g_folder;
}

void SetProgramFolder(const std::string& folder) {
  std::lock_guard lock(g_mutex);
  g_folder = WithoutTrailingSeparator(folder);
}

std::string ProgramFile(const std::string& name) { return ProgramFolder() + "/" + name; }

std::string ChooseProgramFolder(const std::string& executable_dir,
                                const std::string& override_dir, bool* created) {
  std::error_code ec;
  if (created) *created = false;
  if (!override_dir.empty()) {
    if (created) *created = !std::filesystem::exists(override_dir, ec);
    MakeDirs(override_dir);
    return WithoutTrailingSeparator(std::filesystem::absolute(override_dir).string());
  }
  if (!executable_dir.empty() && access(executable_dir.c_str(), W_OK) == 0) {
    return WithoutTrailingSeparator(executable_dir);
  }
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  } else {
    base = "/tmp";
  }
  std::string dir = base + "/fahuo";
  if (created) *created = !std::filesystem::exists(dir, ec);
  MakeDirs(dir);
  return dir;
}

}  // namespace fahuo
