#include "delivery/delivery_pass.h"

#include "platform/gbk.h"
#include "platform/mail_client.h"

namespace fahuo {

bool SendErrorIsTemporary(const std::string& error) {
  const int code = mail::ReplyCode(error);
  if (code >= 500 && code < 600) return false;
  if (code >= 400 && code < 500) return true;
  // Refused before anything went out (a line break in an address or the subject): trying
  // again cannot help.
  if (error.find(FAHUO_GBK("未发送")) != std::string::npos) return false;
  return true;  // the connection dropped, timed out, or could not be made
}

int64_t RetryDelaySeconds(int attempts) {
  int64_t delay = 60;
  for (int i = 1; i < attempts && delay < 1800; ++i) delay *= 2;
  return delay < 1800 ? delay : 1800;
}

}  // namespace fahuo
