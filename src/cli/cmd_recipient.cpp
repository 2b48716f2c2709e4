#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "delivery/recipient.h"
#include "platform/gbk.h"

namespace fahuo::cli {

// recipient NAME NOTE: the address a bill with this 名称 and 备注 would be mailed to.
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
    case fahuo::Recipient::Kind::kMailAddress:
    case fahuo::Recipient::Kind::kQqNumber:
      break;
  }
  std::puts(GbkToUtf8(recipient.address).c_str());
  return 0;
}

}  // namespace fahuo::cli
