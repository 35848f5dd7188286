#include "engine/fileformat/StreamRead.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The scopes of this thread, innermost first (each links to the one made
// before it).
thread_local CStreamReadScope* tInnermost = nullptr;

// Bytes left measured by the system: the size of a regular file, or for a
// stream without a descriptor (a memory buffer) by seeking to its end.
long long MeasureBytesLeft(FILE* file) {
    const off_t position = ftello(file);
    if (position < 0) return -1;

    const int descriptor = fileno(file);
    if (descriptor >= 0) {
        struct stat info;
        if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
        return info.st_size > position ? static_cast<long long>(info.st_size - position) : 0;
    }

    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(file);
    if (fseeko(file, position, SEEK_SET) != 0 || end < position) return -1;
    return static_cast<long long>(end - position);
}

// Passes over `count` bytes with stdio: by seeking when the stream can,
// else by reading them into a small scratch buffer.
bool SkipWithStdio(FILE* file, std::uint64_t count) {
    const long long left = MeasureBytesLeft(file);
    if (left >= 0) {
        if (count > static_cast<unsigned long long>(left)) {
            fseeko(file, 0, SEEK_END);
            return false;
        }
        if (fseeko(file, static_cast<off_t>(count), SEEK_CUR) == 0) return true;
    }
    std::uint8_t scratch[16 * 1024];
    while (count > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof scratch));
        const std::size_t got = fread_unlocked(scratch, 1, want, file);
        count -= got;
        if (got < want) return false;
    }
    return true;
}

}  // namespace

long long BytesLeftInStream(FILE* file) {
    if (file == nullptr) return -1;
    if (const CStreamReadScope* scope = CStreamReadScope::Find(file)) return scope->BytesLeft();
    return MeasureBytesLeft(file);
}

// A stream is read by one reader at a time, so the unlocked stdio calls are
// safe, and the locks of the others would be paid per record.
std::size_t ReadFromStream(FILE* file, void* destination, std::size_t size) {
    if (file == nullptr || size == 0) return 0;
    if (CStreamReadScope* scope = CStreamReadScope::Find(file)) return scope->Read(destination, size);
    return fread_unlocked(destination, 1, size, file);
}

bool SkipInStream(FILE* file, std::uint64_t count) {
    if (file == nullptr) return count == 0;
    if (CStreamReadScope* scope = CStreamReadScope::Find(file)) return scope->Skip(count);
    return SkipWithStdio(file, count);
}

void MoveStreamToEnd(FILE* file) {
    if (file == nullptr) return;
    if (CStreamReadScope* scope = CStreamReadScope::Find(file)) {
        scope->MoveToEnd();
        return;
    }
    fseeko(file, 0, SEEK_END);
}

bool StreamFailed(FILE* file) {
    if (file == nullptr) return false;
    if (const CStreamReadScope* scope = CStreamReadScope::Find(file)) return scope->Failed();
    return ferror_unlocked(file) != 0;
}

// ------------------------------------------------------------ CStreamReadScope

CStreamReadScope::CStreamReadScope(FILE* file, std::size_t blockSize) : mFile(file) {
    if (file == nullptr || blockSize == 0 || Find(file) != nullptr) return;
    mLimit = MeasureBytesLeft(file);
    // A small file takes one block of its own size.
    mCapacity = mLimit >= 0
                    ? static_cast<std::size_t>(std::clamp<long long>(mLimit, 1, static_cast<long long>(blockSize)))
                    : blockSize;
    mBlock.reset(new (std::nothrow) std::uint8_t[mCapacity]);
    if (!mBlock) return;  // stdio serves the readers as without a scope
    mOuter = tInnermost;
    tInnermost = this;
    mActive = true;
}

CStreamReadScope::~CStreamReadScope() {
    if (!mActive) return;
    tInnermost = mOuter;
    const std::size_t unread = mEnd - mPos;
    if (unread > 0) fseeko(mFile, -static_cast<off_t>(unread), SEEK_CUR);
}

CStreamReadScope* CStreamReadScope::Find(FILE* file) {
    for (CStreamReadScope* scope = tInnermost; scope != nullptr; scope = scope->mOuter) {
        if (scope->mFile == file) return scope;
    }
    return nullptr;
}

std::size_t CStreamReadScope::Fetchable(std::size_t wanted) const {
    if (mLimit < 0) return wanted;
    return static_cast<std::size_t>(std::min<long long>(static_cast<long long>(wanted), mLimit - mFetched));
}

bool CStreamReadScope::Refill() {
    mPos = mEnd = 0;
    if (mAtEnd) return false;
    const std::size_t want = Fetchable(mCapacity);
    const std::size_t got = want > 0 ? fread_unlocked(mBlock.get(), 1, want, mFile) : 0;
    mFetched += static_cast<long long>(got);
    mEnd = got;
    if (got < mCapacity) {
        // A short block is the last: the stream ended, failed or reached
        // the size it had when the scope began.
        if (got < want && ferror_unlocked(mFile)) mError = true;
        mAtEnd = true;
    }
    return got > 0;
}

std::size_t CStreamReadScope::ReadDirect(std::uint8_t* destination, std::size_t size) {
    if (mAtEnd) return 0;
    const std::size_t want = Fetchable(size);
    const std::size_t got = want > 0 ? fread_unlocked(destination, 1, want, mFile) : 0;
    mFetched += static_cast<long long>(got);
    if (got < size) {
        if (got < want && ferror_unlocked(mFile)) mError = true;
        mAtEnd = true;
    }
    return got;
}

std::size_t CStreamReadScope::ReadAcrossBlocks(std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        if (mPos == mEnd) {
            // Large reads skip the block; the rest of a small one fills it.
            if (size - done >= mCapacity) return done + ReadDirect(out + done, size - done);
            if (!Refill()) break;
        }
        const std::size_t take = std::min(size - done, mEnd - mPos);
        std::memcpy(out + done, mBlock.get() + mPos, take);
        mPos += take;
        done += take;
    }
    return done;
}

bool CStreamReadScope::Skip(std::uint64_t count) {
    const std::size_t inBlock = static_cast<std::size_t>(std::min<std::uint64_t>(count, mEnd - mPos));
    mPos += inBlock;
    count -= inBlock;
    if (count == 0) return true;

    if (mLimit >= 0) {
        if (count > static_cast<std::uint64_t>(mLimit - mFetched)) {
            MoveToEnd();
            return false;
        }
        if (fseeko(mFile, static_cast<off_t>(count), SEEK_CUR) == 0) {
            mFetched += static_cast<long long>(count);
            return true;
        }
    }
    // A stream that cannot seek is read past.
    while (count > 0) {
        if (!Refill()) return false;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, mEnd));
        mPos = take;
        count -= take;
    }
    return true;
}

void CStreamReadScope::MoveToEnd() {
    mPos = mEnd = 0;
    mAtEnd = true;
    if (mLimit >= 0) {
        if (fseeko(mFile, static_cast<off_t>(mLimit - mFetched), SEEK_CUR) == 0) mFetched = mLimit;
    } else {
        fseeko(mFile, 0, SEEK_END);
    }
}
