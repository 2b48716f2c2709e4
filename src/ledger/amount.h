#pragma once
// The amount of a bill: the records page shows it as text ("+ 98.00", "1,160.00",
// "￥98.00"); the rules compare it as a 32-bit float.
#include <cstdint>
#include <optional>
#include <string_view>

namespace fahuo {

// The number a person reads in `text` (GBK): the first run of digits, with thousands
// commas dropped and an optional decimal part, negative when a '-' stands before it with
// only blanks or a currency sign in between. Nothing when the text shows no number a person
// would read as an amount: no digit at all ("", "NaN"), or digits run on into letters or a
// second decimal part ("0x10", "1e5", "1.2.3"), where any value would be a guess.
std::optional<float> ReadAmount(std::string_view text);

// ReadAmount, with 0 for text that shows no amount.
float AmountValue(std::string_view text);

// The same amount in fen (rounded half up at the third decimal), for sums that must add
// up to the fen; nothing as for ReadAmount, or for an amount beyond a trillion yuan.
std::optional<int64_t> ReadAmountFen(std::string_view text);

}  // namespace fahuo
