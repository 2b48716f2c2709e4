#include "private_keyring.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>

namespace fahuo::testing {

PrivateKeyring::PrivateKeyring() { Start({}); }

PrivateKeyring::PrivateKeyring(const std::string& socket_path) : own_environment_(false) {
  Start(socket_path);
}

void PrivateKeyring::Start(const std::string& socket_path) {
  // The loop ends with the test process: its first write after that fails.
  const char* script =
      "printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null\n"
      "echo \"BUS $DBUS_SESSION_BUS_ADDRESS\"\n"
      "while echo; do sleep 1; done\n";
  const std::string& home = home_.path();
  mkdir((home + "/run").c_str(), 0700);
  std::vector<std::string> command = {"env",
                                      "HOME=" + home,
                                      "XDG_DATA_HOME=" + home + "/data",
                                      "XDG_CONFIG_HOME=" + home + "/config",
                                      "XDG_CACHE_HOME=" + home + "/cache",
                                      "XDG_RUNTIME_DIR=" + home + "/run",
                                      "dbus-run-session"};
  if (!socket_path.empty()) {
    // The session bus's own configuration, listening at the given path as well.
    const std::string config = home + "/bus.conf";
    WriteFileBytes(config,
                   "<busconfig><include>/usr/share/dbus-1/session.conf</include>"
                   "<listen>unix:path=" +
                       socket_path + "</listen></busconfig>\n");
    command.push_back("--config-file=" + config);
  }
  for (const char* part : {"--", "sh", "-c"}) command.push_back(part);
  command.push_back(script);
  // Set before the bus starts, so that a keyring the bus starts on demand lives here too.
  if (!child_.Start(command)) return;
  address_ = child_.WaitForLine("BUS ");
  if (!address_.empty() && own_environment_) {
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  }
}

PrivateKeyring::~PrivateKeyring() { Stop(); }

void PrivateKeyring::Stop() {
  child_.Stop();
  if (own_environment_) unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

SilentSocket::SilentSocket(const std::string& path) : path_(path) {
  fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  listening_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               listen(fd_, 8) == 0;
}

SilentSocket::~SilentSocket() { Close(); }

void SilentSocket::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  unlink(path_.c_str());
}

}  // namespace fahuo::testing
