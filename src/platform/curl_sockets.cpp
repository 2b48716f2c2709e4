#include "platform/curl_sockets.h"

#include <sys/socket.h>
#include <unistd.h>

namespace fahuo {

void CurlSockets::Attach(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, Open);
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, Close);
  curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, this);
}

void CurlSockets::Abort() {
  std::lock_guard lock(mutex_);
  aborted_.store(true);
  for (curl_socket_t fd : open_) shutdown(fd, SHUT_RDWR);
}

curl_socket_t CurlSockets::Open(void* self, curlsocktype, curl_sockaddr* address) {
  auto* s = static_cast<CurlSockets*>(self);
  std::lock_guard lock(s->mutex_);
  if (s->aborted_.load()) return CURL_SOCKET_BAD;
  const curl_socket_t fd = socket(address->family, address->socktype, address->protocol);
  if (fd != CURL_SOCKET_BAD) s->open_.insert(fd);
  return fd;
}

int CurlSockets::Close(void* self, curl_socket_t fd) {
  auto* s = static_cast<CurlSockets*>(self);
  std::lock_guard lock(s->mutex_);
  s->open_.erase(fd);
  return close(fd);
}

}  // namespace fahuo
