#pragma once
// The app log: one process-wide logger writing each message to the Boost.Log
// sinks (standard output, and the log file once the start-up adds it) and to
// a list of the most recent lines kept in memory for the debug screen and
// crash attachments.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class DispatchQueue;
}

// printf-style writers. Debug and info messages are cut to 4,095 bytes,
// warnings and errors to 2,047; a cut never splits a UTF-8 character.
void LogDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether a line of `severity` (1 debug .. 4 error) would be written: lets a
// caller skip building the arguments of a line the level drops.
bool LogEnabled(int severity);

class CLogger {
public:
    static constexpr std::size_t kMaxRecentLines = 4096;

    static CLogger& Instance();

    // Adds the text-file sink. An existing file larger than `maxSizeKiB` x
    // 1,024 bytes is kept as PreviousLogPath(path) (replacing an older one)
    // and the log begins anew; the file is opened for appending. With
    // `autoFlush` every line is in the file when its writer returns;
    // without, lines are gathered and written in blocks (at the latest a
    // moment after they came, on Flush, at exit and at a crash: see
    // WriteBufferedLinesAtCrash).
    void AddFileSink(const std::string& path, int maxSizeKiB, bool autoFlush);
    // Async-signal-safe, for the crash path: writes the log file's gathered
    // lines with write(2) alone; the log takes no more lines after it.
    static void WriteBufferedLinesAtCrash();
    // Where the log that grew over its limit is kept: the path with ".1".
    static std::string PreviousLogPath(const std::string& path);

    // Severity threshold: 1 debug, 2 info, 3 warning, 4 error.
    void SetLevel(int level);
    int GetLevel() const;
    // Boost's trivial name of the level ("info" for 2).
    std::string GetLevelName() const;

    // Whether lines go to standard output (on at first). Off, the console
    // sink is taken out and makes no lines; the file and the memory list go
    // on. For programs whose standard output is their result.
    void SetConsoleOutput(bool on);
    bool IsConsoleOutputOn() const;

    // The last `count` memory lines, oldest first.
    void GetRecentLines(int count, std::vector<std::string>& lines);
    // The newest `maxLines` memory lines of `level`, oldest first.
    void FindRecentLines(int maxLines, int level, std::vector<std::string>& lines);
    // Forgets the memory lines, those still queued included; tests that run
    // one after another in a process begin each with none, as a new process.
    void ClearRecentLines();
    // Back to what a new process finds: no log file (the one open is
    // written and closed), level info, lines on the console and none in
    // memory. For tests that run one after another in a process.
    void ResetForTests();

    // Writes one record of `severity` (1..4) to the Boost sinks and the
    // memory list. The printf-style writers end here. Counted among the
    // writers the process's end waits for; nothing once the logger is gone.
    void Write(int severity, const char* message);
    void Write(int severity, std::string_view message);

    // For tests of the process's end: from now on every write calls `park`
    // with its message once it is inside (counted, the logger found whole)
    // and before it writes, and the end waits up to 30 s (not 1 s) for the
    // writers inside. Null ends it.
    using tParkWriter = void (*)(std::string_view message);
    static void ParkWritersForTests(tParkWriter park);

    // Hands whatever the sinks still buffer to the operating system; for
    // callers about to end the process without running destructors.
    void Flush();

    ~CLogger();

private:
    CLogger();

    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

// Process-wide debug switches 0..18, all off; nothing turns them on in a
// normal run. 16: notification tracker lines; 17: tunnel path lines.
class CDebugFlags {
public:
    static constexpr int kCount = 19;
    static CDebugFlags& Get();
    bool IsOn(int index) const { return index >= 0 && index < kCount && mFlags[index] != 0; }
    void Set(int index, bool on) {
        if (index >= 0 && index < kCount) mFlags[index] = on ? 1 : 0;
    }

private:
    std::uint8_t mFlags[kCount] = {};
};
