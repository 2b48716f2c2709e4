#include "private_keyring.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

SilentSocket::SilentSocket(const std::string& path) {
  fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  listening_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               listen(fd_, 8) == 0;
}

SilentSocket::~SilentSocket() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace fahuo::testing
