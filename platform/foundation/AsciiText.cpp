#include "platform/foundation/AsciiText.h"

#include <algorithm>

namespace platform::ascii {

std::string lowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = toLower(c);
    return out;
}

std::string uppercased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = toUpper(c);
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return toLower(x) == toLower(y); });
}

std::string_view trimmed(std::string_view text, std::string_view whitespace) {
    const std::size_t first = text.find_first_not_of(whitespace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(whitespace) - first + 1);
}

}  // namespace platform::ascii
