// Any bytes as a mail in the seller's inbox: recognising and reading a bounce never
// crashes, and what it reads stays within its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "delivery/bounce_mail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view mail(reinterpret_cast<const char*>(data), size);
  fahuo::LooksLikeBounce(mail);
  const fahuo::BounceFacts facts = fahuo::ReadBounce(mail);
  if (facts.diagnostic.size() > 1024 || facts.status.size() > 16) std::abort();
  fahuo::BounceReason(facts);
  return 0;
}
