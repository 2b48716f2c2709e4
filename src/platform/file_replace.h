#pragma once
// Replacing a file whole: the new content is written beside the old file and renamed over
// it, so a crash or a full disk never leaves half a file.
#include <string>
#include <sys/types.h>

namespace fahuo {

// A fresh name beside `path` for the new content ("path.tmp-1a2b3c4d").
std::string TempPathBeside(const std::string& path);

// Writes `bytes` to a temporary file created with `mode`, syncs it, and renames it over
// `path`. False (and no temporary file left) on any failure.
bool ReplaceFileWith(const std::string& path, const std::string& bytes, mode_t mode);

}  // namespace fahuo
