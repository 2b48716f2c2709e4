#pragma once
// Where fahuo keeps its files (bill table, rule table, settings).
#include <string>

namespace fahuo {

// The program folder, without a trailing separator. Set once at start-up by
// ChooseProgramFolder or SetProgramFolder; tests set it to a temporary folder.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// Folder + "/" + name, built anew at every call.
std::string ProgramFile(const std::string& name);

// The executable's folder when it is writable (a portable install), otherwise the user's
// data folder ($XDG_DATA_HOME/fahuo or ~/.local/share/fahuo, created if missing).
// A non-empty `override_dir` (--data-dir) wins and is created if missing.
// `created` (optional) tells whether the folder did not exist before.
std::string ChooseProgramFolder(const std::string& executable_dir, const std::string& override_dir,
                                bool* created = nullptr);

}  // namespace fahuo
