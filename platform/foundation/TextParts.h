#pragma once
// Texts cut at a separator, and joined with one.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The parts between the separators, empty ones included: "a;;b" gives "a",
// "", "b"; an empty text gives one empty part.
inline std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (;;) {
        const std::size_t end = text.find(separator);
        parts.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

// "a, b, c" of "a", "b", "c" and ", ".
inline std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) text += separator;
        text += parts[i];
    }
    return text;
}

}  // namespace platform
