#pragma once
// A Secret Service of the test's own: a new session bus (dbus-run-session) with an unlocked,
// empty GNOME keyring whose files lie in a temporary home, never the user's keyring. Sets
// DBUS_SESSION_BUS_ADDRESS for this process while it runs. GLib keeps one session bus a
// process: one PrivateKeyring per test executable.
#include <string>

#include "test_support.h"

namespace fahuo::testing {

class PrivateKeyring {
 public:
  PrivateKeyring();
  // The bus listens at `socket_path`, which DBUS_SESSION_BUS_ADDRESS already names: the
  // process environment is left alone, since other threads may read it meanwhile.
  explicit PrivateKeyring(const std::string& socket_path);
  ~PrivateKeyring();  // Stop()
  PrivateKeyring(const PrivateKeyring&) = delete;
  PrivateKeyring& operator=(const PrivateKeyring&) = delete;

  // Whether the bus and the keyring came up.
  bool started() const { return !address_.empty(); }
  // Ends the bus and with it the keyring, as a logout or a crash would.
  void Stop();

 private:
  void Start(const std::string& socket_path);

  TempDir home_;
  ChildProcess child_;
  std::string address_;
  bool own_environment_ = true;
};

// A socket that takes connections and never answers them: a hung keyring's bus.
class SilentSocket {
 public:
  explicit SilentSocket(const std::string& path);
  ~SilentSocket();
  SilentSocket(const SilentSocket&) = delete;
  SilentSocket& operator=(const SilentSocket&) = delete;
  bool listening() const { return listening_; }
  // Stops listening and frees the path for another server.
  void Close();

 private:
  std::string path_;
  int fd_ = -1;
  bool listening_ = false;
};

}  // namespace fahuo::testing

#define ASSERT_PRIVATE_KEYRING(keyring)                                    \
  ASSERT_TRUE((keyring).started())                                         \
      << "dbus-run-session and gnome-keyring-daemon are needed (packages " \
         "dbus-daemon, gnome-keyring; scripts/install-deps installs them)"
