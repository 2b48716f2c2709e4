#pragma once
// Process-level calls that differ between operating systems.
#include <string>

namespace fahuo {

// Whether the program runs with the system administrator's rights (root).
bool RunsAsAdministrator();

// A name of the user running the program that other users cannot take (the numeric user
// id), for names that must be per user, such as a local socket's.
std::string UserKey();

// Ends the process at once with `code`, running no destructors or exit handlers (for
// libraries whose threads are not ours to join).
[[noreturn]] void EndProcessNow(int code);

}  // namespace fahuo
