#include "app/Utilities/Strings/ZDUtilsStrings.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>


#include <algorithm>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/TextEncoding.h"

namespace ZDUtils {

namespace {

// One character of a UTF-8 text and the bytes it takes there.
struct Character {
    char32_t code;
    std::size_t begin;
    std::size_t end;
};

std::vector<Character> characters(const std::string& text) {
    std::vector<Character> out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t i = 0;
    while (i < length) {
        const std::int32_t begin = i;
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        out.push_back({c < 0 ? U'\uFFFD' : static_cast<char32_t>(c), static_cast<std::size_t>(begin),
                       static_cast<std::size_t>(i)});
    }
    return out;
}

// The text without the characters that `drop` names, other bytes kept as they are.
template <typename Predicate>
std::string removing(const std::string& text, Predicate drop) {
    std::string out;
    out.reserve(text.size());
    for (const Character& c : characters(text)) {
        if (!drop(c.code)) out.append(text, c.begin, c.end - c.begin);
    }
    return out;
}

// The length of the line break at `at`, 0 when there is none there; "\r\n"
// is one break. Works on the bytes: every break is ASCII or one of the
// three-byte or two-byte forms of U+0085, U+2028 and U+2029.
std::size_t lineBreakAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned char c = byte(at);
    if (c == '\r') return byte(at + 1) == '\n' ? 2 : 1;
    if (c >= 0x0A && c <= 0x0C) return 1;
    if (c == 0xC2 && byte(at + 1) == 0x85) return 2;
    if (c == 0xE2 && byte(at + 1) == 0x80 && (byte(at + 2) == 0xA8 || byte(at + 2) == 0xA9)) return 3;
    return 0;
}

// The pieces between line breaks, as views into `text`.
std::vector<std::string_view> lines(const std::string& text) {
    std::vector<std::string_view> pieces;
    const std::string_view whole(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size();) {
        // Most bytes start no break: pass them without a closer look.
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = (c > '\r' && c != 0xC2 && c != 0xE2) || c < '\n' ? 0 : lineBreakAt(text, i);
        if (length == 0) {
            ++i;
            continue;
        }
        pieces.push_back(whole.substr(start, i - start));
        i += length;
        start = i;
    }
    pieces.push_back(whole.substr(start));
    return pieces;
}

std::string joined(std::vector<std::string_view>::const_iterator first,
                   std::vector<std::string_view>::const_iterator last) {
    std::string out;
    for (auto it = first; it != last; ++it) {
        if (it != first) out += '\n';
        out += *it;
    }
    return out;
}

icu::UnicodeString unicode(const std::string& text) { return icu::UnicodeString::fromUTF8(text); }

// Compiled once; null when the pattern does not compile.
std::unique_ptr<icu::RegexPattern> compile(const char* pattern, std::uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError where;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(unicode(pattern), flags, where, status));
    if (U_FAILURE(status)) return nullptr;
    return compiled;
}

// The first match from the start must take the whole text.
bool matchesWhole(const icu::RegexPattern* pattern, const std::string& text) {
    if (pattern == nullptr) return false;
    const icu::UnicodeString subject = unicode(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher->find()) return false;
    const std::int32_t start = matcher->start(status);
    const std::int32_t end = matcher->end(status);
    return U_SUCCESS(status) && start == 0 && end == subject.length();
}

const char* const kEmailPattern =
    R"re((?:[a-z0-9!#$%\&'*+/=?\^_`{|}~-]+(?:\.[a-z0-9!#$%\&'*+/=?\^_`{|}~-]+)*|"(?:[\x01-\x08\x0b\x0c\x0e-\x1f\x21\x23-\x5b\x5d-\x7f]|\\[\x01-\x09\x0b\x0c\x0e-\x7f])*")@(?:(?:[a-z0-9](?:[a-z0-9-]*[a-z0-9])?\.)+[a-z0-9](?:[a-z0-9-]*[a-z0-9])?|\[(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?|[a-z0-9-]*[a-z0-9]:(?:[\x01-\x08\x0b\x0c\x0e-\x1f\x21-\x5a\x53-\x7f]|\\[\x01-\x09\x0b\x0c\x0e-\x7f])+)\]))re";
const char* const kIPv4Pattern =
    R"re(\b(?:(?:2(?:[0-4][0-9]|5[0-5])|[0-1]?[0-9]?[0-9])\.){3}(?:(?:2([0-4][0-9]|5[0-5])|[0-1]?[0-9]?[0-9]))\b)re";
const char* const kHTTPPattern = R"re(\b(https?):\/\/[\-A-Za-z0-9+&@#\/%?=~_|!:,.;]*[\-A-Za-z0-9+&@#\/%=~_|])re";

// Case and, when asked, accents folded away, for searching.
icu::UnicodeString folded(const std::string& text, unsigned options) {
    icu::UnicodeString out = unicode(text);
    if (options & kDiacriticInsensitiveSearch) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
        if (U_SUCCESS(status)) {
            const icu::UnicodeString decomposed = nfd->normalize(out, status);
            if (U_SUCCESS(status)) {
                out.remove();
                for (std::int32_t i = 0; i < decomposed.length();) {
                    const UChar32 c = decomposed.char32At(i);
                    if (u_charType(c) != U_NON_SPACING_MARK) out.append(c);
                    i += U16_LENGTH(c);
                }
            }
        }
    }
    if (options & kCaseInsensitiveSearch) out.foldCase();
    return out;
}

}  // namespace

bool isWhitespaceOrNewline(char32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
    const std::int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool isAlphanumeric(char32_t c) {
    const auto mask = U_GET_GC_MASK(static_cast<UChar32>(c));
    return (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

std::string stringFromUnicodeCPPString(const std::string& bytes) { return platform::repairUtf8(bytes, U'*'); }

std::string stringByStrippingWhitespace(const std::string& text) {
    return stringByStrippingTrailingWhitespace(stringByStrippingLeadingWhitespace(text));
}

std::string stringByStrippingLeadingWhitespace(const std::string& text) {
    return stringByTrimmingLeadingCharactersInSet(text, isWhitespaceOrNewline);
}

std::string stringByStrippingTrailingWhitespace(const std::string& text) {
    return stringByTrimmingTrailingCharactersInSet(text, isWhitespaceOrNewline);
}

std::string stringByTrimmingLeadingCharactersInSet(const std::string& text, CharacterPredicate set) {
    for (const Character& c : characters(text)) {
        if (!set(c.code)) return text.substr(c.begin);
    }
    return {};
}

std::string stringByTrimmingTrailingCharactersInSet(const std::string& text, CharacterPredicate set) {
    const auto chars = characters(text);
    for (auto it = chars.rbegin(); it != chars.rend(); ++it) {
        if (!set(it->code)) return text.substr(0, it->end);
    }
    return {};
}

std::string stringByRemovingAllWhitespace(const std::string& text) { return removing(text, isWhitespaceOrNewline); }

std::string stringValidForFileNames(const std::string& text) {
    static constexpr std::u32string_view kAllowed = U" ,.-+_";
    return removing(text, [](char32_t c) { return !isAlphanumeric(c) && kAllowed.find(c) == kAllowed.npos; });
}

std::string alphanumericString(const std::string& text) {
    return removing(text, [](char32_t c) { return !isAlphanumeric(c); });
}

std::string ZDURLEncodedString(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const unsigned char byte : text) {
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (plain) {
            out += static_cast<char>(byte);
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

bool isValidEmail(const std::string& text) {
    static const auto pattern = compile(kEmailPattern, UREGEX_CASE_INSENSITIVE);
    return matchesWhole(pattern.get(), text);
}

bool isValidInternetProtocolAddress(const std::string& text) {
    static const auto pattern = compile(kIPv4Pattern, UREGEX_CASE_INSENSITIVE);
    return matchesWhole(pattern.get(), text);
}

bool isValidHTTPAddress(const std::string& text) {
    static const auto pattern = compile(kHTTPPattern, 0);
    if (!pattern) return false;
    const icu::UnicodeString subject = unicode(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(subject, status));
    return U_SUCCESS(status) && matcher->find();
}

double similarityToString(const std::string& text, const std::string& other) {
    const std::size_t m = text.size();
    const std::size_t n = other.size();
    if (m == 0 || n == 0) return 0.0;
    const std::size_t window = (m == 1 && n == 1) ? 0 : std::max(m, n) / 2 - 1;

    std::vector<bool> matchedA(m, false);
    std::vector<bool> matchedB(n, false);
    std::size_t common = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const std::size_t from = i > window ? i - window : 0;
        const std::size_t to = std::min(i + window + 1, n);
        for (std::size_t j = from; j < to; ++j) {
            if (matchedB[j] || text[i] != other[j]) continue;
            matchedA[i] = matchedB[j] = true;
            ++common;
            break;
        }
    }
    if (common == 0) return 0.0;

    float transpositions = 0.0f;
    for (std::size_t i = 0, j = 0; i < m; ++i) {
        if (!matchedA[i]) continue;
        while (!matchedB[j]) ++j;
        if (text[i] != other[j]) transpositions += 0.5f;
        ++j;
    }
    const float c = static_cast<float>(common);
    float score = (c / static_cast<float>(m) + c / static_cast<float>(n) + (c - transpositions) / c) / 3.0f;
    if (score > 0.7f) {
        const std::size_t limit = std::min<std::size_t>({2, m, n});
        std::size_t prefix = 0;
        while (prefix < limit && text[prefix] == other[prefix]) ++prefix;
        score += static_cast<float>(prefix) * 0.1f * (1.0f - score);
    }
    return static_cast<double>(score) * 100.0;
}

bool containsString(const std::string& text, const std::string& search, unsigned options) {
    if (search.empty()) return false;
    return folded(text, options).indexOf(folded(search, options)) >= 0;
}

std::size_t lineCount(const std::string& text) { return lines(text).size(); }

std::size_t wordCount(const std::string& text) {
    const icu::UnicodeString subject = unicode(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return 0;
    words->setText(subject);
    std::size_t count = 0;
    words->first();
    while (words->next() != icu::BreakIterator::DONE) {
        if (words->getRuleStatus() >= UBRK_WORD_NONE_LIMIT) ++count;
    }
    return count;
}

std::string substringWithLines(const std::string& text, std::size_t count) {
    const auto pieces = lines(text);
    if (pieces.size() <= count) return text;
    return joined(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(count));
}

std::string substringWithLastLines(const std::string& text, std::size_t count) {
    const auto pieces = lines(text);
    if (pieces.size() <= count) return text;
    return joined(pieces.end() - static_cast<std::ptrdiff_t>(count), pieces.end());
}

std::string reverseString(const std::string& text) {
    const auto chars = characters(text);
    std::string out;
    out.reserve(text.size());
    for (auto it = chars.rbegin(); it != chars.rend(); ++it) out.append(text, it->begin, it->end - it->begin);
    return out;
}

std::string safePercentString(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '%') {
            out += "<PERCENT_SIGN>";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace ZDUtils
