#pragma once
// Secrets kept by the desktop's keyring: the Secret Service on the session bus (GNOME
// Keyring, KWallet, KeePassXC). A keyring may be missing, locked behind a prompt nobody
// answers, or hung: every call gives up after its time limit, and a keyring that failed
// counts as none until AskAgain(), so no caller waits twice for the same silence. One call
// at a time (the caller serialises them).
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace fahuo {

class SecretStore {
 public:
  enum class Result { kOk, kNotFound, kUnavailable };

  // `application` names the items' kind in the keyring (a reverse domain name).
  explicit SecretStore(std::string application,
                       std::chrono::milliseconds limit = std::chrono::seconds(2));
  ~SecretStore();
  SecretStore(const SecretStore&) = delete;
  SecretStore& operator=(const SecretStore&) = delete;

  // The secret stored under `key` into `secret`: kOk, kNotFound (the keyring answered and
  // holds none), or kUnavailable. Keys and labels are UTF-8 text (anything else is refused
  // as kUnavailable); a secret is any bytes.
  Result Read(std::string_view key, std::string& secret);
  // Stores `secret` under `key`, replacing what was there; `label` is what a keyring
  // manager shows. kOk or kUnavailable.
  Result Write(std::string_view key, std::string_view label, std::string_view secret);
  // Removes the item of `key`: kOk (also when there was none) or kUnavailable.
  Result Remove(std::string_view key);

  // False once a call failed or ran out of time, until AskAgain().
  bool Available() const { return available_; }
  // The next call asks the keyring again, over a new connection (a keyring that was locked,
  // slow or not yet started may answer now).
  void AskAgain();

 private:
  struct Connection;
  bool Connect(void* cancellable);
  Result Fail();  // this store's keyring counts as none from now on

  std::string application_;
  std::chrono::milliseconds limit_;
  bool available_ = true;
  std::unique_ptr<Connection> connection_;
};

}  // namespace fahuo
