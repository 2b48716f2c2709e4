#pragma once
// Replacing a file whole: the new content is written beside the old file and renamed over
// it, so a crash or a full disk never leaves half a file.
#include <cstdint>
#include <string>

namespace fahuo {

// A fresh name beside `path` for the new content ("path.tmp-1a2b3c4d").
std::string TempPathBeside(const std::string& path);

// Who may read a file we write.
enum class FileAccess {
  kOwnerOnly,   // it holds a secret (settings with the mailbox password, codes)
  kOthersRead,  // it holds nothing secret and other users may open it
};

// Writes `bytes` to a temporary file created with `access`, syncs it, and renames it over
// `path`. False (and no temporary file left) on any failure.
bool ReplaceFileWith(const std::string& path, const std::string& bytes, FileAccess access);

// A name beside `path` that no file has yet: "<path>.<label>-YYYYMMDD-HHMMSS" in the local
// time of `now_unix`, with "-2", "-3" … appended when taken. For keeping a file that must
// not be written over (a damaged table, an unreadable settings file).
std::string FreeNameBeside(const std::string& path, const std::string& label, int64_t now_unix);

// Renames `path` to FreeNameBeside(path, label, now_unix). Returns the new name, empty when
// it could not be renamed.
std::string MoveAside(const std::string& path, const std::string& label, int64_t now_unix);

}  // namespace fahuo
