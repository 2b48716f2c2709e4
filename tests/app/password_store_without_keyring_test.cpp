// The mailbox password where no keyring answers: no bus at all, or a bus that never
// answers (a process apart from the real keyring's test: GLib keeps one bus a process).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "app/core/password_store.h"
#include "app/core/settings.h"
#include "private_keyring.h"
#include "test_support.h"

namespace fahuo {
namespace {

using testing::SilentSocket;
using testing::TempDir;

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
