#include "storage/BLSULLRangeValue.h"

#include <cstddef>
#include <cstdint>

namespace NSValueBLSULLRangeExtensions {

namespace {

constexpr std::size_t kWordSize = 8;

void appendWord(platform::Value::Data& out, std::uint64_t word) {
    for (std::size_t i = 0; i < kWordSize; ++i) {
        out.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    }
}

std::uint64_t readWord(const platform::Value::Data& in, std::size_t offset) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < kWordSize; ++i) {
        word |= static_cast<std::uint64_t>(in[offset + i]) << (8 * i);
    }
    return word;
}

}  // namespace

platform::Value valueWithBLSULLRange(BLSULLRange range) {
    platform::Value::Data bytes;
    bytes.reserve(2 * kWordSize);
    appendWord(bytes, range.location);
    appendWord(bytes, range.length);
    return platform::Value(std::move(bytes));
}

std::optional<BLSULLRange> BLSULLRangeValue(const platform::Value& value) {
    const platform::Value::Data* bytes = value.asData();
    if (bytes == nullptr || bytes->size() != 2 * kWordSize) {
        return std::nullopt;
    }
    return BLSULLRange{readWord(*bytes, 0), readWord(*bytes, kWordSize)};
}

}  // namespace NSValueBLSULLRangeExtensions
