#pragma once
// Numbers through printf formats that callers supply (a counting label's,
// a chart's label format): a format is taken only with exactly one numeric
// conversion, so a caller's text can never read an argument that is not
// there or print a double as an integer.

#include <optional>
#include <string>

namespace NumberFormat {

enum class Conversion { integer, floating };

// The kind of the one conversion: d or i (integer) or f, F, e, E, g, G, a,
// A (floating), each with flags, a width and a precision of at most three
// digits; "%%" is a percent sign. None for anything else: no conversion,
// two, a length modifier, '*', or another conversion.
std::optional<Conversion> check(const std::string& format);

// The value in a checked format; an integer conversion takes the value cut
// toward zero and held to the 32-bit range (not-a-number as 0).
std::string apply(const std::string& format, Conversion conversion, double value);

// check then apply; none when the format is refused.
std::optional<std::string> format(const std::string& format, double value);

}  // namespace NumberFormat
