#pragma once
// The amount of a bill: the records page shows it as text ("+ 98.00", "1,160.00",
// "￥98.00"); the rules compare it as a 32-bit float.
#include <string_view>

namespace fahuo {

// The number a person reads in `text` (GBK): the first run of digits, with thousands
// commas dropped and an optional decimal part, negative when a '-' stands before it with
// only blanks or a currency sign in between. Text holding no digit gives 0.
float AmountValue(std::string_view text);

}  // namespace fahuo
