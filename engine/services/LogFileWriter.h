#pragma once
// The log file's writer. Lines are gathered in one fixed buffer and reach
// the file in one write(2) when the buffer is full, on Flush, a moment
// (kIdleDelay) after the first line began waiting, and on Close; or each
// line at once when opened `immediate`. A crash writes what is gathered from
// the crash path (WriteAtCrash), so no line written before a crash is lost
// to the buffer.
//
// Threads: Open, Append, Flush and Close may be called from any thread.
// WriteAtCrash may run at any moment on any thread, inside a signal handler:
// it touches only the buffer, the descriptor and the count of bytes gathered,
// all set up beforehand, and calls nothing but write(2).

#include "engine/services/DelayedFlusher.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class CLogFileWriter {
public:
    static constexpr std::size_t kCapacity = 64 * 1024;
    static constexpr std::chrono::milliseconds kIdleDelay{200};

    CLogFileWriter() = default;
    // Closes.
    ~CLogFileWriter();
    CLogFileWriter(const CLogFileWriter&) = delete;
    CLogFileWriter& operator=(const CLogFileWriter&) = delete;

    // Closes the file before (its lines written), then opens `path` for
    // appending; false when it cannot be opened, and nothing is written.
    bool Open(const std::string& path, bool immediate);
    // One whole line, its line end included. Nothing after a crash write.
    void Append(std::string_view line);
    // Writes the gathered lines.
    void Flush();
    // Writes the gathered lines and closes the file.
    void Close();

    // Async-signal-safe: writes the gathered lines with write(2) and takes
    // none after them (the process is ending). A line being appended at that
    // moment is not written; one written out just before may come twice.
    void WriteAtCrash();

    // The writer the crash path writes out (WriteInstalledAtCrash): the
    // logger's own. Async-signal-safe, and does nothing while none is set.
    static void InstallForCrash(CLogFileWriter* writer);
    static void WriteInstalledAtCrash();

private:
    // Marks the count of a writer whose lines the crash path has taken.
    static constexpr std::uint32_t kTaken = UINT32_MAX;

    void FlushLocked();

    // What the crash path reads; set up before a line can arrive.
    char mBuffer[kCapacity];
    std::atomic<int> mFd{-1};
    // Bytes of whole lines in the buffer, or kTaken.
    std::atomic<std::uint32_t> mCommitted{0};

    std::mutex mMutex;
    bool mImmediate = true;
    // While open and not immediate; ended outside the lock, which its
    // flush takes.
    std::unique_ptr<CDelayedFlusher> mFlusher;
};
