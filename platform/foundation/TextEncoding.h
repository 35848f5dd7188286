#pragma once
// UTF-8 checks and the Mac Roman conversions that older layout files and the
// engine's bundle lookups need.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

bool isValidUtf8(std::string_view bytes);

// `bytes` as valid UTF-8: each byte that begins no well-formed sequence
// (a stray continuation, a cut, overlong or surrogate form, a Latin-1
// letter) becomes U+FFFD; valid text comes back unchanged.
std::string validUtf8(std::string_view bytes);

// `bytes` as valid UTF-8 by utfcpp's repair: each invalid sequence (a
// Latin-1 letter, a character cut short, an overlong form) becomes one
// `replacement`; valid text comes back unchanged.
std::string repairUtf8(std::string_view bytes, char32_t replacement);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character. Bytes that are not UTF-8 count one by one.
std::size_t utf8SafePrefixLength(std::string_view text, std::size_t maxBytes);

// `text` cut to at most `maxBytes` bytes at a character boundary.
std::string truncateUtf8(std::string_view text, std::size_t maxBytes);

// Character classes of the platform's character sets, to combine with |:
// letters, marks and digits of every script; spaces and the tab.
enum CharacterClass : unsigned { kAlphanumerics = 1u << 0, kWhitespace = 1u << 1 };

// Whether every character of the UTF-8 `text` lies in one of `classes` or
// is one of the ASCII characters of `others`. False for text that is not
// UTF-8; true for the empty text.
bool holdsOnly(std::string_view text, unsigned classes, std::string_view others);

// Every byte sequence is valid Mac Roman, so this always succeeds.
std::string macRomanToUtf8(std::string_view bytes);

// nullopt when `utf8` is not valid UTF-8 or holds a character outside Mac Roman.
std::optional<std::string> utf8ToMacRoman(std::string_view utf8);

}  // namespace platform
