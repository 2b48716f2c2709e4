#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/gbk.h"
#include "test_support.h"

namespace fahuo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

struct FolderCase {
  const char* what;
  const char* setup;  // P: "portable" beside the program, W: program folder writable,
                      // D: --data-dir given, U: the user's folder exists
  std::vector<std::string> beside_exe;  // written with content "exe:" + name
  std::vector<std::string> in_user;     // written with content "user:" + name
  char expect_folder;                   // E: the program's, U: the user's, D: --data-dir
  bool expect_created;
  std::vector<std::string> expect_copied;
};

bool Writable(const std::string&) { return true; }
bool ReadOnly(const std::string&) { return false; }

TEST(ProgramFolder, ChoosesTheFolderAndCarriesDataOverWithoutReplacingAny) {
  const std::vector<std::string> data = {"zhifubaoZD.edb", "Yjgz.edb", "Peizhi.ini", "fahuo.db",
                                         "fahuo.db-wal"};
  // clang-format off
  const std::vector<FolderCase> cases = {
      {"a writable program folder is no longer the default", "W", data, {}, 'U', true, data},
      {"a portable install keeps its data beside the program", "PW", data, {}, 'E', false, {}},
      {"a portable marker on a read-only folder falls back", "P", data, {}, 'U', true, data},
      {"--data-dir wins over the marker and copies nothing", "PWD", data, {}, 'D', true, {}},
      {"an existing empty user folder still gets the data", "WU", {"Yjgz.edb"}, {}, 'U', false,
       {"Yjgz.edb"}},
      {"a user folder holding a data file is no first start", "WU", data, {"Yjgz.edb"}, 'U', false,
       {}},
      {"nothing beside the program: nothing to copy", "", {}, {}, 'U', true, {}},
  };
  // clang-format on
  for (const FolderCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir top;
    const std::string exe = top.File("bin");
    const std::string user = top.File("share/fahuo");
    fs::create_directories(exe);
    const std::string setup = c.setup;
    const auto has = [&setup](char flag) { return setup.find(flag) != std::string::npos; };
    if (has('P')) WriteFileBytes(exe + "/portable", "");
    for (const std::string& name : c.beside_exe) WriteFileBytes(exe + "/" + name, "exe:" + name);
    chmod((exe + "/Peizhi.ini").c_str(), 0600);
    if (has('U')) fs::create_directories(user);
    for (const std::string& name : c.in_user) WriteFileBytes(user + "/" + name, "user:" + name);

    const std::string option = has('D') ? top.File("opt/data/") : "";
    const DataFolderChoice got =
        ChooseDataFolder({exe, option, user}, has('W') ? Writable : ReadOnly);

    EXPECT_EQ(got.folder, c.expect_folder == 'E'   ? exe
                          : c.expect_folder == 'U' ? user
                                                   : top.File("opt/data"));
    EXPECT_TRUE(fs::is_directory(got.folder));
    EXPECT_EQ(got.created, c.expect_created);
    EXPECT_EQ(got.copied, c.expect_copied);
    for (const std::string& name : c.beside_exe) {  // copied, never moved
      EXPECT_EQ(ReadFileBytes(exe + "/" + name), "exe:" + name);
    }
    for (const std::string& name : c.expect_copied) {
      EXPECT_EQ(ReadFileBytes(user + "/" + name), "exe:" + name);
    }
    for (const std::string& name : c.in_user) {  // never replaced
      EXPECT_EQ(ReadFileBytes(user + "/" + name), "user:" + name);
    }
    struct stat st {};
    if (c.expect_created && stat(got.folder.c_str(), &st) == 0) {
      EXPECT_EQ(st.st_mode & 0777, 0700u) << "the folder holds the mail password";
    }
    if (stat((user + "/Peizhi.ini").c_str(), &st) == 0 && !c.expect_copied.empty()) {
      EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
  }
}

TEST(ProgramFolder, UserDataFolderFollowsXdgAndTheLogNamesTheCopies) {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::optional<std::string> saved_xdg = xdg ? std::optional<std::string>(xdg) : std::nullopt;
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_DATA_HOME", "/srv/data/", 1);
  EXPECT_EQ(UserDataFolder(), "/srv/data/fahuo");
  setenv("XDG_DATA_HOME", "relative/path", 1);  // not absolute: ignored, as XDG says
  EXPECT_EQ(UserDataFolder(), home + "/.local/share/fahuo");
  if (saved_xdg) {
    setenv("XDG_DATA_HOME", saved_xdg->c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }

  EXPECT_EQ(CopyOverLogEntry({"/home/卖家/.local/share/fahuo", true, {}}), "");
  EXPECT_EQ(CopyOverLogEntry({"/home/卖家/.local/share/fahuo", true, {"Yjgz.edb", "Peizhi.ini"}}),
            Utf8ToGbk("已将程序目录中的数据文件复制到 /home/卖家/.local/share/fahuo："
                      "Yjgz.edb、Peizhi.ini\r\n"));
}

}  // namespace
}  // namespace fahuo
