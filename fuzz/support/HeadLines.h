#pragma once
// Fuzz input read as the lines of a response head, each with its line
// break, as the transport hands them to the head reader.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fuzzsupport {

// Calls `take` with every line of the bytes, "\n" included (the last line
// may lack it).
template <typename Take>
void ForEachLine(const std::uint8_t* data, std::size_t size, Take take) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        take(rest.substr(0, length));
        rest.remove_prefix(length);
    }
}

}  // namespace fuzzsupport
