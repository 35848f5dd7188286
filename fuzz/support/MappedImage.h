#pragma once
// Bytes placed in memory as the loader places an image: from the start of a
// page, read-only, with the rest of the last page zero. The pages lie in the
// middle of a reservation of 4 GiB that cannot be read, so an address that a
// damaged image gives near itself (a table, a segment) is one the readers
// find unreadable, never another object of the fuzzing process. The image
// readers are only ever given these bytes, not the process's own images.

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

class MappedImage {
public:
    // The largest image placed; longer inputs are cut to it.
    static constexpr std::size_t kMaximumSize = 1 << 20;

    MappedImage(const std::uint8_t* data, std::size_t size);
    ~MappedImage();
    MappedImage(const MappedImage&) = delete;
    MappedImage& operator=(const MappedImage&) = delete;

    // Where the first byte lies.
    std::uint64_t address() const;
    std::size_t size() const { return mSize; }

private:
    std::size_t mSize;
    std::size_t mMapped;
};

}  // namespace fuzzsupport
