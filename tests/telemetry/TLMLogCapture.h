#pragma once
// Collects the telemetry logger's messages for a test, replacing the default
// handler while it lives.

#include "telemetry/TLMLogger.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

struct TLMCapturedLine {
    TLMLogLevel level;
    std::string tag;
    std::string message;
};

class TLMLogCapture {
public:
    TLMLogCapture() {
        TLMLogger::setLogHandler([this](const TLMLogMessageProvider& provider, TLMLogLevel level,
                                        const std::string& tag, const std::string&, const std::string&, int) {
            std::lock_guard lock(mMutex);
            mLines.push_back({level, tag, provider()});
        });
    }
    ~TLMLogCapture() {
        TLMLogger::resetLogHandler();
        TLMLogger::waitUntilIdle();  // blocks queued before the reset still use this object
    }

    std::vector<TLMCapturedLine> lines() {
        TLMLogger::waitUntilIdle();
        std::lock_guard lock(mMutex);
        return mLines;
    }

    void clear() {
        TLMLogger::waitUntilIdle();
        std::lock_guard lock(mMutex);
        mLines.clear();
    }

    std::vector<TLMCapturedLine> linesAt(TLMLogLevel level) {
        std::vector<TLMCapturedLine> all = lines();
        std::vector<TLMCapturedLine> matching;
        std::copy_if(all.begin(), all.end(), std::back_inserter(matching),
                     [level](const TLMCapturedLine& line) { return line.level == level; });
        return matching;
    }

    // Whether a line of that level has exactly that text.
    bool hasMessage(TLMLogLevel level, const std::string& message) {
        const std::vector<TLMCapturedLine> matching = linesAt(level);
        return std::any_of(matching.begin(), matching.end(),
                           [&](const TLMCapturedLine& line) { return line.message == message; });
    }

private:
    std::mutex mMutex;
    std::vector<TLMCapturedLine> mLines;
};
