#include "tests/support/LogWatch.h"

#include "engine/services/Logger.h"

#include <algorithm>

namespace testsupport {

namespace {

constexpr int kAllLines = static_cast<int>(CLogger::kMaxRecentLines);

}  // namespace

std::vector<std::string> RecentLines(int count) {
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(count, lines);
    return lines;
}

std::vector<std::string> RecentLinesAt(int level) {
    std::vector<std::string> lines;
    CLogger::Instance().FindRecentLines(kAllLines, level, lines);
    return lines;
}

std::vector<std::string> Warnings() { return RecentLinesAt(3); }

int CountWith(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

int CountLogged(const std::string& text) { return CountWith(RecentLines(), text); }

int CountLogged(int level, const std::string& text) { return CountWith(RecentLinesAt(level), text); }

int CountWarnings(const std::string& text) { return CountLogged(3, text); }

bool LogHas(const std::string& text, int count) { return CountWith(RecentLines(count), text) > 0; }

std::string MessageOf(const std::string& line) {
    const auto marker = line.find("] :  ");
    return marker == std::string::npos ? line : line.substr(marker + 5);
}

std::vector<std::string> RecentMessages(int count) {
    std::vector<std::string> lines = RecentLines(count);
    for (std::string& line : lines) line = MessageOf(line);
    return lines;
}

std::string LastLogMessage() {
    const std::vector<std::string> lines = RecentLines(1);
    return lines.empty() ? std::string() : MessageOf(lines.back());
}

LogWatch::LogWatch() {
    static int serial = 0;
    // Closed at both ends, so that mark 1 is not found inside mark 10.
    mMarker = "-- log watch mark " + std::to_string(++serial) + " --";
    LogInfo("%s", mMarker.c_str());
}

std::vector<std::string> LogWatch::Lines() const {
    const std::vector<std::string> all = RecentLines();
    auto mark = std::find_if(all.rbegin(), all.rend(),
                             [this](const std::string& line) { return line.find(mMarker) != std::string::npos; });
    return std::vector<std::string>(mark.base(), all.end());
}

int LogWatch::Count(const std::string& text) const { return CountWith(Lines(), text); }

ScopedLogLevel::ScopedLogLevel(int level) : mPrevious(CLogger::Instance().GetLevel()) {
    CLogger::Instance().SetLevel(level);
}

ScopedLogLevel::~ScopedLogLevel() { CLogger::Instance().SetLevel(mPrevious); }

}  // namespace testsupport
