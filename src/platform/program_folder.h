#pragma once
// Where fahuo keeps its files (bill table, rule table, settings, ledger).
#include <string>
#include <vector>

namespace fahuo {

// The data folder as a value: main() decides it once (ChooseDataFolder) and hands it to
// whatever builds paths of the seller's files; a test hands in a temporary folder.
class DataFolder {
 public:
  // Trailing separators are dropped.
  explicit DataFolder(std::string path);

  const std::string& path() const { return path_; }
  // Folder + "/" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// The files that make up the seller's data, as they are named in the folder.
inline constexpr const char* kDataFileNames[] = {"zhifubaoZD.edb", "Yjgz.edb", "Peizhi.ini",
                                                 "fahuo.db"};

// $XDG_DATA_HOME/fahuo when XDG_DATA_HOME is an absolute path, else
// $HOME/.local/share/fahuo (else /tmp/fahuo).
std::string UserDataFolder();

// Whether this process may create files in `dir`.
bool IsWritableFolder(const std::string& dir);

struct DataFolderPlaces {
  std::string executable_dir;
  std::string data_dir_option;   // --data-dir; empty when not given
  std::string user_data_folder;  // UserDataFolder() outside tests
};

struct DataFolderChoice {
  std::string folder;               // without a trailing separator
  bool created = false;             // the folder did not exist before
  std::vector<std::string> copied;  // files copied from beside the executable
};

// The data folder: `data_dir_option` when given; the executable's folder when a file named
// "portable" stands in it and it is writable; otherwise the user's data folder. A missing
// folder is created (readable by the user only: it holds the mail password). A build tree
// or an update may delete the executable's folder, so data found there is carried over: when
// the user's data folder holds none of kDataFileNames, each one beside the executable (with
// its SQLite journal) is copied in. Nothing is moved, and an existing file is never replaced.
DataFolderChoice ChooseDataFolder(const DataFolderPlaces& places,
                                  bool (*writable)(const std::string&) = IsWritableFolder);

// The activity-log entry (GBK, ending in CR LF) that names the copied files; empty when
// nothing was copied.
std::string CopyOverLogEntry(const DataFolderChoice& choice);

}  // namespace fahuo
