#pragma once
// The texts the seller types for a rule: amounts as text, and the checks a new or changed
// rule must pass before it enters the rules window's list.
#include <string>
#include <string_view>

namespace fahuo {

// Text -> amount: the leading decimal number of the text (blanks before it allowed), read as
// a double and narrowed to a 32-bit float. No number gives 0; NaN gives 0; values beyond the
// float range are held at the largest float of that sign rather than overflowing.
float AmountFromText(std::string_view text);

// Whether the seller typed a number: the whole text, blanks around it aside, is a finite
// decimal number ("98", " 98.5 ", "+7", "1e3"); not "", "abc", "98元", "nan".
bool IsAmountText(std::string_view text);

// Amount -> text: the shortest plain decimal that reads back as the same float ("98",
// "98.5", "0.1"); never an exponent.
std::string AmountToText(float amount);

// The GBK message for an amount box that holds no number, "金额请填写数字"; it is checked
// before the range, so that a typo never becomes 0.
const std::string& AmountNotANumberMessage();

// Empty when a rule with these values may be added; otherwise the GBK message to show.
// The range is checked first, then the subject, then the body; only the first problem is
// reported. Equal minimum and maximum are accepted.
std::string RuleEntryProblem(float minimum, float maximum, std::string_view subject,
                             std::string_view body);

}  // namespace fahuo
