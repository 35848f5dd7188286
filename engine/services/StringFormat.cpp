#include "engine/services/StringFormat.h"

#include "platform/foundation/TextEncoding.h"

#include <cstdio>
#include <vector>

std::string FormatStringV(std::size_t maxBytes, const char* format, va_list args) {
    if (format == nullptr) return {};
    // Format into a buffer that holds a whole character beyond the cut (UTF-8
    // needs at most four bytes), so the cut can back off to a boundary instead
    // of keeping the first bytes of a character that was split.
    std::vector<char> buffer(maxBytes + 5);
    va_list copy;
    va_copy(copy, args);
    const int written = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (written < 0) return {};
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(written), buffer.size() - 1);
    return platform::truncateUtf8(std::string_view(buffer.data(), length), maxBytes);
}

std::string FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = FormatStringV(4095, format, args);
    va_end(args);
    return result;
}

std::string FormatStringN(std::size_t maxBytes, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = FormatStringV(maxBytes, format, args);
    va_end(args);
    return result;
}
