#pragma once
// The platform's range: a first index and a count, each a machine word.

#include <cstddef>

namespace platform {

struct Range {
    std::size_t location = 0;
    std::size_t length = 0;
    bool operator==(const Range&) const = default;
};

}  // namespace platform
