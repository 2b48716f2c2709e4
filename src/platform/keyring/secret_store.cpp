#include "platform/keyring/secret_store.h"

#include <libsecret/secret.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace fahuo {
namespace {

// Cancels a call that outlives its limit: a keyring that does not answer must not hold
// up the caller (a password written at quit, the alerts' settings).
class Deadline {
 public:
  Deadline(GCancellable* cancellable, std::chrono::milliseconds limit)
      : thread_([this, cancellable, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_changed_.wait_for(lock, limit, [this] { return done_; })) {
            g_cancellable_cancel(cancellable);
          }
        }) {}
  ~Deadline() { Finish(); }
  // Ends the watch: once this returns the cancellable is no longer touched.
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  std::thread thread_;  // last: starts once the rest exists
};

// One call's cancellable, its deadline and its error, released in the right order.
struct Call {
  explicit Call(std::chrono::milliseconds limit)
      : cancellable(g_cancellable_new()), deadline(cancellable, limit) {}
  ~Call() {
    // The body runs before the members go: the watch must end before the cancellable it
    // may be cancelling right now is let go.
    deadline.Finish();
    if (error) g_error_free(error);
    g_object_unref(cancellable);
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  GCancellable* cancellable;
  Deadline deadline;
  GError* error = nullptr;
};

constexpr char kKeyAttribute[] = "key";

// The attributes that name one item; the strings stay owned by the caller.
GHashTable* Attributes(const std::string& key) {
  GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(attributes, const_cast<char*>(kKeyAttribute), const_cast<char*>(key.c_str()));
  return attributes;
}

// D-Bus carries only valid UTF-8 names; anything else would abort inside GLib.
bool IsText(std::string_view text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) &&
         text.find('\0') == std::string_view::npos;
}

}  // namespace

// A service proxy of this store's own rather than libsecret's shared one, so that it goes
// with the store.
struct SecretStore::Connection {
  ~Connection() {
    if (service) g_object_unref(service);
  }
  SecretService* service = nullptr;
  SecretSchema schema{};
};

SecretStore::SecretStore(std::string application, std::chrono::milliseconds limit)
    : application_(std::move(application)), limit_(limit) {}

SecretStore::~SecretStore() = default;

SecretStore::Result SecretStore::Fail() {
  available_ = false;
  return Result::kUnavailable;
}

void SecretStore::AskAgain() {
  available_ = true;
  connection_.reset();
}

bool SecretStore::Connect(void* cancellable) {
  if (connection_) return true;
  auto connection = std::make_unique<Connection>();
  GError* error = nullptr;
  connection->service =
      secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION,
                               static_cast<GCancellable*>(cancellable), &error);
  if (error) g_error_free(error);
  if (!connection->service) return false;
  // The session bus is shared with the rest of the process; its end (a logout, a crashed
  // bus) must not end the program: the keyring merely counts as gone.
  g_dbus_connection_set_exit_on_close(
      g_dbus_proxy_get_connection(reinterpret_cast<GDBusProxy*>(connection->service)), FALSE);
  connection->schema.name = application_.c_str();
  connection->schema.flags = SECRET_SCHEMA_NONE;
  connection->schema.attributes[0] = {kKeyAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
  connection_ = std::move(connection);
  return true;
}

SecretStore::Result SecretStore::Read(std::string_view key, std::string& secret) {
  if (!available_ || !IsText(key)) return Result::kUnavailable;
  Call call(limit_);
  if (!Connect(call.cancellable)) return Fail();
  const std::string key_text(key);
  GHashTable* attributes = Attributes(key_text);
  SecretValue* value = secret_service_lookup_sync(connection_->service, &connection_->schema,
                                                  attributes, call.cancellable, &call.error);
  g_hash_table_unref(attributes);
  if (call.error) return Fail();
  if (!value) return Result::kNotFound;
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  secret.assign(bytes, length);
  secret_value_unref(value);
  return Result::kOk;
}

SecretStore::Result SecretStore::Write(std::string_view key, std::string_view label,
                                       std::string_view secret) {
  if (!available_ || !IsText(key) || !IsText(label)) return Result::kUnavailable;
  Call call(limit_);
  if (!Connect(call.cancellable)) return Fail();
  const std::string key_text(key);
  const std::string label_text(label);
  GHashTable* attributes = Attributes(key_text);
  SecretValue* value =
      secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
  const gboolean stored = secret_service_store_sync(
      connection_->service, &connection_->schema, attributes, SECRET_COLLECTION_DEFAULT,
      label_text.c_str(), value, call.cancellable, &call.error);
  secret_value_unref(value);
  g_hash_table_unref(attributes);
  if (!stored || call.error) return Fail();
  return Result::kOk;
}

SecretStore::Result SecretStore::Remove(std::string_view key) {
  if (!available_ || !IsText(key)) return Result::kUnavailable;
  Call call(limit_);
  if (!Connect(call.cancellable)) return Fail();
  const std::string key_text(key);
  GHashTable* attributes = Attributes(key_text);
  // False without an error: there was nothing to remove.
  secret_service_clear_sync(connection_->service, &connection_->schema, attributes,
                            call.cancellable, &call.error);
  g_hash_table_unref(attributes);
  if (call.error) return Fail();
  return Result::kOk;
}

}  // namespace fahuo
