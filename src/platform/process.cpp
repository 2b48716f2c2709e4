#include "platform/process.h"

#include <unistd.h>

namespace fahuo {

bool RunsAsAdministrator() { return ::geteuid() == 0; }

std::string UserKey() { return std::to_string(::getuid()); }

void EndProcessNow(int code) { ::_exit(code); }

}  // namespace fahuo
