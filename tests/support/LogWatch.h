#pragma once
// The app log's memory lines as tests read them: the newest lines, those of
// one level, counts of lines holding a text, messages without their prefix,
// and a watch over what was logged after a point.

#include <string>
#include <vector>

namespace testsupport {

// The newest `count` memory lines of every level, oldest first.
std::vector<std::string> RecentLines(int count = 4096);
// The newest memory lines of `level` (1 debug, 2 info, 3 warning, 4 error),
// oldest first.
std::vector<std::string> RecentLinesAt(int level);
std::vector<std::string> Warnings();

// How many of `lines` hold `text`.
int CountWith(const std::vector<std::string>& lines, const std::string& text);
// How many of the newest memory lines hold `text`: of every level, or of one.
int CountLogged(const std::string& text);
int CountLogged(int level, const std::string& text);
int CountWarnings(const std::string& text);
// Whether one of the newest `count` memory lines holds `text`.
bool LogHas(const std::string& text, int count = 200);

// The message of a memory line: what follows its "<time> [WORD    ] :  ".
std::string MessageOf(const std::string& line);
// The messages of the newest `count` memory lines, oldest first.
std::vector<std::string> RecentMessages(int count);
// The message of the newest memory line; empty when there is none.
std::string LastLogMessage();

// The lines logged after it was made, of every level. It logs a marker line
// (info) and reads from there, so that lines dropped from the front of the
// log's memory do not shift what it sees.
class LogWatch {
public:
    LogWatch();
    std::vector<std::string> Lines() const;
    int Count(const std::string& text) const;

private:
    std::string mMarker;
};

// Sets the log level for a scope and puts the previous one back.
class ScopedLogLevel {
public:
    explicit ScopedLogLevel(int level);
    ~ScopedLogLevel();
    ScopedLogLevel(const ScopedLogLevel&) = delete;
    ScopedLogLevel& operator=(const ScopedLogLevel&) = delete;

private:
    int mPrevious;
};

}  // namespace testsupport
