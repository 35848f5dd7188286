#pragma once
// The stream a blob download writes a cache file through: the bytes go to a
// temporary file beside the target (platform::AtomicFile), and only
// commit() puts the file in the target's place. A download that fails,
// stops or brings more than maximumSize bytes fails the stream and is never
// committed; the temporary file goes with the stream.
//
// Writes come from the download's thread; commit() after the download has
// completed, from the thread the completion was handed to.

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Stream.h"

#include <cstdint>
#include <filesystem>
#include <memory>

class QLCacheFileOutputStream final : public platform::OutputStream {
public:
    QLCacheFileOutputStream(std::filesystem::path target, std::uint64_t maximumSize);

    const std::filesystem::path& target() const { return mTarget; }
    // The temporary file's path while there is one.
    std::filesystem::path temporaryPath() const;
    std::uint64_t bytesWritten() const { return mBytesWritten; }

    // Creates the temporary file (an error when the folder cannot take it).
    void open() override;
    void close() override;
    // Fails the stream (EFBIG) when the bytes would pass maximumSize.
    long write(const std::uint8_t* bytes, std::size_t length) override;

    // Syncs the temporary file and renames it over the target; false when
    // the stream failed or the file cannot be renamed (nothing replaced).
    bool commit();
    // Removes the temporary file now; nothing can be committed afterwards.
    void discard();

private:
    void failWith(int code);

    std::filesystem::path mTarget;
    std::uint64_t mMaximumSize;
    std::uint64_t mBytesWritten = 0;
    std::unique_ptr<platform::AtomicFile> mFile;
};
