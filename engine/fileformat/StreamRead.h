#pragma once
// Reading the bytes of an engine file. Every reader of records (CTag, the
// layout, library and element headers) takes its bytes through the
// functions below, never through stdio itself, so that a loader can hold
// its file in a CStreamReadScope: the file is then read in large blocks and
// each record is served from memory, and the bytes left are known without
// asking the system. Without a scope the functions use stdio directly.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

// Bytes between the stream's position and its end, or -1 when the stream
// cannot tell (pipes, sockets, devices). Leaves the position unchanged.
// Readers use it to bound counts and lengths read from a file before they
// size anything by them. Within a scope it costs nothing; without one it
// asks the system.
long long BytesLeftInStream(FILE* file);

// Reads up to `size` bytes; returns how many arrived. Fewer means the
// stream ended or failed (StreamFailed tells which).
std::size_t ReadFromStream(FILE* file, void* destination, std::size_t size);

// Passes over `count` bytes, by seeking where the stream can. False when the
// stream ends first.
bool SkipInStream(FILE* file, std::uint64_t count);

// Puts the stream at its end: after damage nothing later can be trusted.
void MoveStreamToEnd(FILE* file);

// True when a read of the stream failed with an error rather than at its end.
bool StreamFailed(FILE* file);

// Holds `file` for the readers of this thread while it lives: its bytes are
// read in blocks of up to kBlockSize and served from memory, and its size is
// taken once, when the scope begins. Reads never go past that size, so a file
// that grows during the load is read as it was. When the scope ends, the
// stream's position is set back to just past the bytes consumed (for streams
// that can seek), so stdio can go on from there.
//
// Scopes live on the stack and end in the reverse order of their making, on
// the thread that made them. A second scope for a file already held does
// nothing.
class CStreamReadScope {
public:
    static constexpr std::size_t kBlockSize = 256 * 1024;

    explicit CStreamReadScope(FILE* file, std::size_t blockSize = kBlockSize);
    ~CStreamReadScope();

    CStreamReadScope(const CStreamReadScope&) = delete;
    CStreamReadScope& operator=(const CStreamReadScope&) = delete;

    // The scope holding `file` on this thread, or null.
    static CStreamReadScope* Find(FILE* file);

    std::size_t Read(void* destination, std::size_t size) {
        if (size <= mEnd - mPos) {
            std::memcpy(destination, mBlock.get() + mPos, size);
            mPos += size;
            return size;
        }
        return ReadAcrossBlocks(static_cast<std::uint8_t*>(destination), size);
    }
    bool Skip(std::uint64_t count);
    void MoveToEnd();
    // -1 when the stream's size is not known.
    long long BytesLeft() const { return mLimit < 0 ? -1 : mLimit - Consumed(); }
    bool Failed() const { return mError; }
    // Bytes consumed since the scope began.
    long long Consumed() const { return mFetched - static_cast<long long>(mEnd - mPos); }

private:
    // Read for what the current block does not hold whole.
    std::size_t ReadAcrossBlocks(std::uint8_t* destination, std::size_t size);
    // Fetches the next block; false when nothing more arrives.
    bool Refill();
    // Reads straight into `destination`, past the block; the count arrived.
    std::size_t ReadDirect(std::uint8_t* destination, std::size_t size);
    // What a fetch may still take from the stream.
    std::size_t Fetchable(std::size_t wanted) const;

    FILE* mFile;
    CStreamReadScope* mOuter = nullptr;
    bool mActive = false;
    std::unique_ptr<std::uint8_t[]> mBlock;
    std::size_t mCapacity = 0;
    std::size_t mPos = 0;
    std::size_t mEnd = 0;
    long long mLimit = -1;   // bytes the stream held when the scope began
    long long mFetched = 0;  // bytes taken from the stream since then
    bool mAtEnd = false;
    bool mError = false;
};
