#pragma once
// printf-style formatting into a std::string of at most 4,095 bytes, cut at a
// UTF-8 character boundary.

#include <cstdarg>
#include <cstddef>
#include <string>

std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same, cut to at most `maxBytes` bytes.
std::string FormatStringN(std::size_t maxBytes, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same with an argument list, cut to at most `maxBytes` bytes.
std::string FormatStringV(std::size_t maxBytes, const char* format, va_list args);
