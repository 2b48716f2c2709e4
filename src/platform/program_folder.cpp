#include "platform/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "platform/gbk.h"

namespace fahuo {
namespace {

namespace fs = std::filesystem;

std::string WithoutTrailingSeparator(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Creates `dir` when missing; tells whether it did.
bool CreateFolder(const std::string& dir) {
  std::error_code ec;
  if (fs::exists(dir, ec)) return false;
  fs::create_directories(dir, ec);
  if (ec) return false;
  fs::permissions(dir, fs::perms::owner_all, ec);
  return true;
}

bool HoldsDataFile(const std::string& dir) {
  std::error_code ec;
  for (const char* name : kDataFileNames) {
    if (fs::exists(fs::path(dir) / name, ec)) return true;
  }
  return false;
}

// Copies `name` and the SQLite journals that belong to it; never replaces a file.
void CopyDataFile(const std::string& from_dir, const std::string& to_dir, const std::string& name,
                  std::vector<std::string>& copied) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(from_dir) / name, ec)) return;
  for (const std::string& file : {name, name + "-wal", name + "-journal"}) {
    const fs::path from = fs::path(from_dir) / file;
    if (!fs::is_regular_file(from, ec)) continue;
    if (fs::copy_file(from, fs::path(to_dir) / file, fs::copy_options::none, ec)) {
      copied.push_back(file);
    }
  }
}

}  // namespace

DataFolder::DataFolder(std::string path) : path_(WithoutTrailingSeparator(std::move(path))) {}

std::string DataFolder::File(const std::string& name) const { return path_ + "/" + name; }

std::string UserDataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    return WithoutTrailingSeparator(xdg) + "/fahuo";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return WithoutTrailingSeparator(home) + "/.local/share/fahuo";
  }
  return "/tmp/fahuo";
}

bool IsWritableFolder(const std::string& dir) {
  return !dir.empty() && access(dir.c_str(), W_OK | X_OK) == 0;
}

DataFolderChoice ChooseDataFolder(const DataFolderPlaces& places,
                                  bool (*writable)(const std::string&)) {
  DataFolderChoice choice;
  std::error_code ec;
  if (!places.data_dir_option.empty()) {
    choice.created = CreateFolder(places.data_dir_option);
    choice.folder = WithoutTrailingSeparator(fs::absolute(places.data_dir_option, ec).string());
    return choice;
  }
  const std::string& exe_dir = places.executable_dir;
  if (!exe_dir.empty() && fs::exists(fs::path(exe_dir) / "portable", ec) && writable(exe_dir)) {
    choice.folder = WithoutTrailingSeparator(exe_dir);
    return choice;
  }
  choice.folder = WithoutTrailingSeparator(places.user_data_folder);
  choice.created = CreateFolder(choice.folder);
  // Were the user's folder the executable's own, holding no data file would leave nothing to
  // copy: a file is never copied onto itself.
  if (!exe_dir.empty() && !HoldsDataFile(choice.folder)) {
    for (const char* name : kDataFileNames)
      CopyDataFile(exe_dir, choice.folder, name, choice.copied);
  }
  return choice;
}

std::string CopyOverLogEntry(const DataFolderChoice& choice) {
  if (choice.copied.empty()) return {};
  std::string names;
  for (const std::string& name : choice.copied) {
    if (!names.empty()) names += "、";
    names += name;
  }
  // Paths are UTF-8 on the desktops fahuo runs on; the log is GBK.
  return Utf8ToGbk("已将程序目录中的数据文件复制到 " + choice.folder + "：" + names) + "\r\n";
}

}  // namespace fahuo
