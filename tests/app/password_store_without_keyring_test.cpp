// The mailbox password where no keyring answers: no bus at all, or a bus that never
// answers (a process apart from the real keyring's test: GLib keeps one bus a process).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "app/core/password_store.h"
#include "app/core/settings.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::TempDir;

// A socket that takes connections and never answers them: a hung keyring's bus.
class SilentSocket {
 public:
  explicit SilentSocket(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    listening_ = fd_ >= 0 &&
                 bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 listen(fd_, 8) == 0;
  }
  ~SilentSocket() {
    if (fd_ >= 0) close(fd_);
  }
  bool listening() const { return listening_; }

 private:
  int fd_ = -1;
  bool listening_ = false;
};

TEST(KeyringPassword, WithoutAnAnsweringKeyringThePasswordStaysInTheFileAsBefore) {
  TempDir dir;
  SilentSocket silent(dir.File("silent"));
  ASSERT_TRUE(silent.listening());
  for (const char* socket : {"no-such-socket", "silent"}) {
    SCOPED_TRACE(socket);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.File(socket)).c_str(), 1);
    TempDir data;
    const std::string path = data.File("Peizhi.ini");
    const auto start = std::chrono::steady_clock::now();
    KeyringPasswordStore store;
    EXPECT_EQ(store.Read(path), "");
    EXPECT_FALSE(store.InKeyring());
    // One wait at most in a run, never one per keystroke.
    for (const char* typed : {"p", "pw", "pw1"}) {
      const PasswordWrite write = store.Write(path, typed);
      EXPECT_TRUE(write.ok);
      EXPECT_FALSE(write.left_keyring);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(ReadSetting(path, kSettingPassword), "pw1");
    EXPECT_EQ(KeyringPasswordStore().Read(path), "pw1");
  }
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
}  // namespace fahuo
