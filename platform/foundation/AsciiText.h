#pragma once
// Case and blanks of ASCII text, the same in every locale: only the bytes
// 'A'-'Z', 'a'-'z' and the six C white-space bytes are looked at, so UTF-8 sequences
// and other bytes of 128 and above pass through unchanged. For prefixes and
// suffixes use std::string_view's starts_with and ends_with.

#include <string>
#include <string_view>

namespace platform::ascii {

// Space, tab, line feed, vertical tab, form feed and carriage return.
inline constexpr std::string_view kWhitespace = " \t\n\v\f\r";

constexpr bool isWhitespace(char c) { return kWhitespace.find(c) != std::string_view::npos; }
constexpr char toLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char toUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);

// Equal when only the case of ASCII letters differs.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// `text` without the leading and trailing bytes that are in `whitespace`.
std::string_view trimmed(std::string_view text, std::string_view whitespace = kWhitespace);

}  // namespace platform::ascii
