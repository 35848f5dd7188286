#include "platform/foundation/TextEncoding.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <utf8.h>

#include <array>
#include <iterator>
#include <cstdint>

namespace platform {

namespace {

// Length of the UTF-8 sequence starting at `i`, or 0 when it is not a
// complete, well-formed sequence (overlongs, surrogates and values above
// U+10FFFF are rejected).
std::size_t sequenceLength(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return 1;
    std::size_t len;
    char32_t cp;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    } else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Mac Roman 0x80..0xFF as Unicode code points.
constexpr std::array<char16_t, 128> kMacRomanHigh = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t decode(std::string_view s, std::size_t i, std::size_t len) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (len == 1) return b0;
    char32_t cp = b0 & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = sequenceLength(bytes, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string validUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = sequenceLength(bytes, i);
        if (len == 0) {
            appendUtf8(out, U'\uFFFD');
            ++i;
            continue;
        }
        out.append(bytes.substr(i, len));
        i += len;
    }
    return out;
}

std::string repairUtf8(std::string_view bytes, char32_t replacement) {
    std::string out;
    out.reserve(bytes.size());
    utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(out), replacement);
    return out;
}

std::size_t utf8SafePrefixLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t len = std::max<std::size_t>(1, sequenceLength(text, i));
        if (i + len > maxBytes) break;
        i += len;
    }
    return i;
}

std::string truncateUtf8(std::string_view text, std::size_t maxBytes) {
    return std::string(text.substr(0, utf8SafePrefixLength(text, maxBytes)));
}

bool holdsOnly(std::string_view text, unsigned classes, std::string_view others) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    if (text.size() != static_cast<std::size_t>(length)) return false;
    for (std::int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
        const std::uint32_t category = U_GET_GC_MASK(c);
        if ((classes & kAlphanumerics) != 0 && (category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0) continue;
        if ((classes & kWhitespace) != 0 && (c == '\t' || (category & U_GC_ZS_MASK) != 0)) continue;
        if (c < 0x80 && others.find(static_cast<char>(c)) != std::string_view::npos) continue;
        return false;
    }
    return true;
}

std::string macRomanToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, b < 0x80 ? char32_t(b) : char32_t(kMacRomanHigh[b - 0x80]));
    }
    return out;
}

std::optional<std::string> utf8ToMacRoman(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t len = sequenceLength(utf8, i);
        if (len == 0) return std::nullopt;
        const char32_t cp = decode(utf8, i, len);
        i += len;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < kMacRomanHigh.size(); ++k) {
            if (kMacRomanHigh[k] == cp) {
                out += static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
    }
    return out;
}

}  // namespace platform
