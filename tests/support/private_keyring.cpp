#include "private_keyring.h"

#include <sys/stat.h>

#include <cstdlib>

namespace fahuo::testing {

PrivateKeyring::PrivateKeyring() {
  // The loop ends with the test process: its first write after that fails.
  const char* script =
      "printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null\n"
      "echo \"BUS $DBUS_SESSION_BUS_ADDRESS\"\n"
      "while echo; do sleep 1; done\n";
  const std::string& home = home_.path();
  mkdir((home + "/run").c_str(), 0700);
  // Set before the bus starts, so that a keyring the bus starts on demand lives here too.
  if (!child_.Start({"env", "HOME=" + home, "XDG_DATA_HOME=" + home + "/data",
                     "XDG_CONFIG_HOME=" + home + "/config", "XDG_CACHE_HOME=" + home + "/cache",
                     "XDG_RUNTIME_DIR=" + home + "/run", "dbus-run-session", "--", "sh", "-c",
                     script})) {
    return;
  }
  address_ = child_.WaitForLine("BUS ");
  if (!address_.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateKeyring::~PrivateKeyring() { Stop(); }

void PrivateKeyring::Stop() {
  child_.Stop();
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace fahuo::testing
