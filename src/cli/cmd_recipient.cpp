#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "delivery/recipient.h"
#include "platform/gbk.h"

namespace fahuo::cli {

// recipient NAME NOTE: the address a bill with this 名称 and 备注 would be mailed to, after
// the clean-up and the domain check of delivery/recipient.h.
int Recipient(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fahuo-cli recipient NAME NOTE\n");
    return 1;
  }
  fahuo::Recipient recipient = RecipientFor(Utf8ToGbk(argv[0]), Utf8ToGbk(argv[1]));
  switch (recipient.kind) {
    case fahuo::Recipient::Kind::kSkipNoNote:
      std::puts("skip-no-note");
      return 2;
    case fahuo::Recipient::Kind::kSkipNotQq:
      std::puts("skip-not-qq");
      return 2;
    case fahuo::Recipient::Kind::kSkipInvalidAddress:
      std::puts("skip-invalid-address");
      return 2;
    case fahuo::Recipient::Kind::kSkipSuspectAddress:
      // Standard output keeps one word per outcome for scripts; the advice goes beside it.
      std::puts("skip-suspect-address");
      std::fprintf(stderr, "suggestion: %s\n", GbkToUtf8(recipient.suggestion).c_str());
      return 2;
    case fahuo::Recipient::Kind::kMailAddress:
    case fahuo::Recipient::Kind::kQqNumber:
      break;
  }
  std::puts(GbkToUtf8(recipient.address).c_str());
  if (!recipient.typed.empty()) {
    std::fprintf(stderr, "corrected: %s -> %s\n", GbkToUtf8(recipient.typed).c_str(),
                 GbkToUtf8(recipient.address).c_str());
  }
  return 0;
}

}  // namespace fahuo::cli
