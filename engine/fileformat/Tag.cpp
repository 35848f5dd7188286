#include "engine/fileformat/Tag.h"

#include "engine/services/ErrorHandling.h"
#include "platform/foundation/ByteOrder.h"

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

}  // namespace

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

// The stream a record is read from: the scope holding it when there is
// one (found once per record), else stdio.
struct CTag::tSource {
    explicit tSource(FILE* stream) : file(stream), scope(CStreamReadScope::Find(stream)) {}
    std::size_t Read(void* destination, std::size_t size) const {
        return scope != nullptr ? scope->Read(destination, size) : ReadFromStream(file, destination, size);
    }
    FILE* file;
    CStreamReadScope* scope;
};

bool CTag::ReadTag(FILE* file) {
    mData.reset();
    mInline = false;
    mLength = 0;
    if (file == nullptr) return Fail(tReadStatus::EndOfFile);
    const tSource source(file);

    // Id and short length in one read.
    std::uint8_t bytes[4];
    const std::size_t got = source.Read(bytes, 4);
    if (got != 4) {
        // Nothing at all where a record would begin is the clean end.
        return Fail(got == 0 && !StreamFailed(file) ? tReadStatus::EndOfFile : tReadStatus::Truncated);
    }
    mId = platform::loadBigEndian16(bytes);
    mLength = platform::loadBigEndian16(bytes + 2);
    if (mLength == 0xFFFF) {
        if (source.Read(bytes, 4) != 4) return Fail(tReadStatus::Truncated);
        mLength = platform::loadBigEndian32(bytes);
    }
    return ReadTagInternal(source);
}

bool CTag::ReadTagInternal(const tSource& source) {
    FILE* const file = source.file;
    if (mLength == 0) return Fail(tReadStatus::ZeroLength);

    // Within a scope the bytes left cost nothing, so every length is checked.
    long long left = -1;
    if (source.scope != nullptr) {
        left = source.scope->BytesLeft();
    } else if (mLength > kReadChunk) {
        left = BytesLeftInStream(file);
    }
    if (left >= 0 && mLength > left) {
        // The record claims more than the stream holds: nothing after it can
        // be trusted, so the stream is left at its end.
        MoveStreamToEnd(file);
        return Fail(tReadStatus::Truncated);
    }
    if (mLength > kMaxTagLength) {
        SkipInStream(file, mLength);
        return Fail(tReadStatus::TooLong);
    }

    if (mLength <= kInlineBytes) {
        if (source.Read(mInlineBytes, mLength) != mLength) return Fail(tReadStatus::Truncated);
        mInline = true;
        mStatus = tReadStatus::Ok;
        return true;
    }

    const char* const signature = "bool CTag::ReadTagInternal(FILE *)";
    if (mLength <= kReadChunk || left >= 0) {
        auto* bytes = static_cast<std::uint8_t*>(std::malloc(mLength));
        if (bytes == nullptr) UErrorHandling::CheckAllocation(nullptr, signature, kAllocationMessage);
        mData.reset(bytes);
        if (source.Read(bytes, mLength) != mLength) return Fail(tReadStatus::Truncated);
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
        const std::size_t got = source.Read(mData.get() + have, want);
        have += got;
        if (got < want) return Fail(tReadStatus::Truncated);
    }
    mStatus = tReadStatus::Ok;
    return true;
}

bool CTag::WriteTag(FILE* file) const {
    if (file == nullptr || mId == 0 || mLength == 0 || GetBytes() == nullptr) return false;

    std::uint8_t header[8];
    std::size_t headerSize = 4;
    platform::storeBigEndian16(header, static_cast<std::uint16_t>(mId));
    if (mLength < 0xFFFF) {
        platform::storeBigEndian16(header + 2, static_cast<std::uint16_t>(mLength));
    } else {
        platform::storeBigEndian16(header + 2, 0xFFFF);
        platform::storeBigEndian32(header + 4, mLength);
        headerSize = 8;
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
