#pragma once
// The sockets of a libcurl handle, opened and closed through this object, so that Abort
// (from any thread) can shut them down while another thread waits on them, and never
// touches a descriptor number that was closed and reused.
#include <curl/curl.h>

#include <atomic>
#include <mutex>
#include <set>

namespace fahuo {

class CurlSockets {
 public:
  // Opens and closes `handle`'s sockets through this object from now on.
  void Attach(CURL* handle);
  // No socket opens after this; the open ones are shut, which the owner's thread sees as a
  // dropped connection at once (its own clean-up then closes the descriptors).
  void Abort();
  bool Aborted() const { return aborted_.load(); }

 private:
  static curl_socket_t Open(void* self, curlsocktype, curl_sockaddr* address);
  static int Close(void* self, curl_socket_t fd);

  std::mutex mutex_;
  std::set<curl_socket_t> open_;  // open now (a connect may race two addresses)
  std::atomic<bool> aborted_{false};
};

}  // namespace fahuo
