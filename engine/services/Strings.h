#pragma once
// Conversion of an engine text to the bytes of a legacy encoding.

#include <optional>
#include <string>

namespace UStrings {

enum class tEncoding { UTF8, MacRoman };

// The UTF-8 text `utf8` in `encoding`; nullopt when it is not valid UTF-8 or
// holds a character the encoding cannot represent. The result is the
// caller's own copy, so any thread may call it; there is no length limit.
std::optional<std::string> CFStringToCString(const std::string& utf8, tEncoding encoding);

}  // namespace UStrings
