#pragma once
// Random (version 4) UUID texts for log identifiers.

#include <string>

// 36 characters, upper-case hexadecimal in groups 8-4-4-4-12. Thread-safe.
std::string TLMNewUuidString();

// True for a 36-character UUID text of hexadecimal digits (either case) and
// "-" at the group boundaries.
bool TLMIsUuidString(const std::string& text);
