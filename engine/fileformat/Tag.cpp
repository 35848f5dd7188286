#include "engine/fileformat/Tag.h"

#include "engine/services/ErrorHandling.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

const char* const kAllocationMessage = "Failed to allocate memory for tag data";

// Records up to this size are read straight into a buffer of their length:
// such an allocation is harmless even when the stream turns out shorter.
// Longer ones are measured against the stream first, and where the stream
// cannot be measured they are read in chunks of this size, so memory only
// grows with bytes that really arrived.
constexpr std::size_t kReadChunk = 64 * 1024;

std::uint16_t GetBigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t GetBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// Passes over `count` bytes: by seeking when the stream can, else by reading
// them into a small scratch buffer.
void SkipBytes(FILE* file, std::uint32_t count, bool seekable) {
    if (seekable && fseeko(file, static_cast<off_t>(count), SEEK_CUR) == 0) return;
    std::uint8_t scratch[16 * 1024];
    while (count > 0) {
        const std::size_t want = std::min<std::size_t>(count, sizeof scratch);
        const std::size_t got = fread(scratch, 1, want, file);
        count -= static_cast<std::uint32_t>(got);
        if (got < want) return;
    }
}

}  // namespace

long long BytesLeftInStream(FILE* file) {
    if (file == nullptr) return -1;
    const off_t position = ftello(file);
    if (position < 0) return -1;

    const int descriptor = fileno(file);
    if (descriptor >= 0) {
        struct stat info;
        if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
        return info.st_size > position ? static_cast<long long>(info.st_size - position) : 0;
    }

    // A stream without a descriptor (memory buffer): measure by seeking.
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(file);
    if (fseeko(file, position, SEEK_SET) != 0 || end < position) return -1;
    return static_cast<long long>(end - position);
}

const char* ReadStatusName(tReadStatus status) {
    switch (status) {
        case tReadStatus::Ok: return "Ok";
        case tReadStatus::EndOfFile: return "EndOfFile";
        case tReadStatus::Truncated: return "Truncated";
        case tReadStatus::ZeroLength: return "ZeroLength";
        case tReadStatus::TooLong: return "TooLong";
        case tReadStatus::TooShort: return "TooShort";
    }
    return "Unknown";
}

CTag::CTag(std::uint16_t id, std::size_t size, const void* data) : mId(id) {
    if (size == 0 || data == nullptr || size > std::numeric_limits<std::uint32_t>::max()) return;
    auto* bytes = static_cast<std::uint8_t*>(std::malloc(size));
    if (bytes == nullptr) {
        UErrorHandling::CheckAllocation(nullptr, "CTag::CTag(uint16_t, size_t, const void *)",
                                        kAllocationMessage);  // ends the process
    }
    std::memcpy(bytes, data, size);
    mData.reset(bytes);
    mLength = static_cast<std::uint32_t>(size);
}

bool CTag::Fail(tReadStatus status) {
    mData.reset();
    mInline = false;
    mLength = 0;
    mStatus = status;
    return false;
}

bool CTag::ReadTag(FILE* file) {
    mData.reset();
    mInline = false;
    mLength = 0;
    // A stream is read by one reader at a time, so the unlocked stdio calls
    // are safe here; the locking ones cost a third of a layout's load time.
    if (file == nullptr || feof_unlocked(file)) return Fail(tReadStatus::EndOfFile);

    // Id and short length in one read.
    std::uint8_t bytes[4];
    const std::size_t got = fread_unlocked(bytes, 1, 4, file);
    if (got != 4) {
        // Nothing at all where a record would begin is the clean end.
        return Fail(got == 0 && !ferror_unlocked(file) ? tReadStatus::EndOfFile : tReadStatus::Truncated);
    }
    mId = GetBigEndian16(bytes);
    mLength = GetBigEndian16(bytes + 2);
    if (mLength == 0xFFFF) {
        if (fread_unlocked(bytes, 4, 1, file) != 1) return Fail(tReadStatus::Truncated);
        mLength = GetBigEndian32(bytes);
    }
    return ReadTagInternal(file);
}

bool CTag::ReadTagInternal(FILE* file) {
    if (mLength == 0) return Fail(tReadStatus::ZeroLength);

    long long left = -1;
    if (mLength > kReadChunk) left = BytesLeftInStream(file);
    if (left >= 0 && mLength > left) {
        // The record claims more than the stream holds: nothing after it can
        // be trusted, so the stream is left at its end.
        fseeko(file, 0, SEEK_END);
        return Fail(tReadStatus::Truncated);
    }
    if (mLength > kMaxTagLength) {
        SkipBytes(file, mLength, left >= 0);
        return Fail(tReadStatus::TooLong);
    }

    if (mLength <= kInlineBytes) {
        if (fread_unlocked(mInlineBytes, mLength, 1, file) != 1) return Fail(tReadStatus::Truncated);
        mInline = true;
        mStatus = tReadStatus::Ok;
        return true;
    }

    const char* const signature = "bool CTag::ReadTagInternal(FILE *)";
    if (mLength <= kReadChunk || left >= 0) {
        auto* bytes = static_cast<std::uint8_t*>(std::malloc(mLength));
        if (bytes == nullptr) UErrorHandling::CheckAllocation(nullptr, signature, kAllocationMessage);
        mData.reset(bytes);
        if (fread_unlocked(bytes, mLength, 1, file) != 1) return Fail(tReadStatus::Truncated);
        mStatus = tReadStatus::Ok;
        return true;
    }

    // A stream of unknown size: grow the buffer with what arrives.
    std::size_t capacity = 0;
    std::size_t have = 0;
    while (have < mLength) {
        if (have == capacity) {
            const std::size_t next = std::min<std::size_t>(mLength, std::max(capacity * 2, kReadChunk));
            std::uint8_t* old = mData.release();
            void* grown = std::realloc(old, next);
            if (grown == nullptr) {
                std::free(old);
                UErrorHandling::CheckAllocation(nullptr, signature, kAllocationMessage);
            }
            mData.reset(static_cast<std::uint8_t*>(grown));
            capacity = next;
        }
        const std::size_t want = capacity - have;
        const std::size_t got = fread(mData.get() + have, 1, want, file);
        have += got;
        if (got < want) return Fail(tReadStatus::Truncated);
    }
    mStatus = tReadStatus::Ok;
    return true;
}

bool CTag::WriteTag(FILE* file) const {
    if (file == nullptr || mId == 0 || mLength == 0 || GetBytes() == nullptr) return false;

    std::uint8_t header[8];
    std::size_t headerSize = 0;
    header[headerSize++] = static_cast<std::uint8_t>(mId >> 8);
    header[headerSize++] = static_cast<std::uint8_t>(mId);
    if (mLength < 0xFFFF) {
        header[headerSize++] = static_cast<std::uint8_t>(mLength >> 8);
        header[headerSize++] = static_cast<std::uint8_t>(mLength);
    } else {
        header[headerSize++] = 0xFF;
        header[headerSize++] = 0xFF;
        for (int shift = 24; shift >= 0; shift -= 8) {
            header[headerSize++] = static_cast<std::uint8_t>(mLength >> shift);
        }
    }
    if (fwrite(header, headerSize, 1, file) != 1) return false;
    return fwrite(GetBytes(), mLength, 1, file) == 1;
}

bool CTag::GetData(void* destination, std::size_t maxBytes) const {
    if (mLength == 0 || GetBytes() == nullptr) return false;
    const std::size_t count = std::min<std::size_t>(mLength, maxBytes);
    if (count > 0) std::memcpy(destination, GetBytes(), count);
    return true;
}
