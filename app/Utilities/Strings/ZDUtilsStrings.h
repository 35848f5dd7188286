#pragma once
// The app's text helpers: trimming and cleaning, address checks, a
// similarity score and line handling. Texts are UTF-8; character classes are
// Unicode's (whitespace, newline and alphanumeric as the platform's
// character sets define them). Bytes that are not UTF-8 count as U+FFFD.
// Stateless; any thread.

#include <cstddef>
#include <string>

namespace ZDUtils {

using CharacterPredicate = bool (*)(char32_t);

// Space separators, tab, U+000A to U+000D, U+0085, line and paragraph separators.
bool isWhitespaceOrNewline(char32_t c);
// Letters, marks and numbers.
bool isAlphanumeric(char32_t c);

// An engine text made safe: each invalid UTF-8 sequence becomes "*".
std::string stringFromUnicodeCPPString(const std::string& bytes);

inline bool isEmpty(const std::string& text) { return text.empty(); }
std::string stringByStrippingWhitespace(const std::string& text);
std::string stringByStrippingLeadingWhitespace(const std::string& text);
std::string stringByStrippingTrailingWhitespace(const std::string& text);
// From the first character not in the set; "" when every character is.
std::string stringByTrimmingLeadingCharactersInSet(const std::string& text, CharacterPredicate set);
// Up to and including the last character not in the set.
std::string stringByTrimmingTrailingCharactersInSet(const std::string& text, CharacterPredicate set);
std::string stringByRemovingAllWhitespace(const std::string& text);
// Keeps alphanumerics and " ,.-+_".
std::string stringValidForFileNames(const std::string& text);
std::string alphanumericString(const std::string& text);
// Percent-encodes every UTF-8 byte but ASCII letters, digits and "-._~".
std::string ZDURLEncodedString(const std::string& text);

// The whole text must be one address (no blanks around it).
bool isValidEmail(const std::string& text);
bool isValidInternetProtocolAddress(const std::string& text);  // IPv4
// An http or https address anywhere in the text (scheme in lower case).
bool isValidHTTPAddress(const std::string& text);

// 0 to 100: the Jaro similarity of the UTF-8 bytes with a bonus for up to two
// equal leading bytes when it is above 0.7.
double similarityToString(const std::string& text, const std::string& other);

enum StringCompareOptions : unsigned {
    kCaseInsensitiveSearch = 1u << 0,
    kDiacriticInsensitiveSearch = 1u << 7,
};
// False for an empty `search`.
bool containsString(const std::string& text, const std::string& search, unsigned options);
inline bool containsStringInsensitive(const std::string& text, const std::string& search) {
    return containsString(text, search, kCaseInsensitiveSearch);
}

// Lines are the pieces between newline characters (U+000A to U+000D, U+0085,
// U+2028, U+2029); "\r\n" is one break. An empty text has one line, and a
// trailing break starts an empty last line.
std::size_t lineCount(const std::string& text);
// Words as a word-boundary analysis finds them: punctuation and blanks are not words.
std::size_t wordCount(const std::string& text);
// The first / last `count` lines joined by "\n"; the text itself when it has
// no more lines than that.
std::string substringWithLines(const std::string& text, std::size_t count);
std::string substringWithLastLines(const std::string& text, std::size_t count);

// The characters in reverse order (whole code points, so the result stays UTF-8).
std::string reverseString(const std::string& text);
// Every "%" as "<PERCENT_SIGN>", so that the text can never act as a format.
std::string safePercentString(const std::string& text);

}  // namespace ZDUtils
