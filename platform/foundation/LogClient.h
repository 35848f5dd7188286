#pragma once
// A log client with a per-level filter: the sink that a program may give the
// storage client. Levels use the system log's numbers (3 error, 4 warning,
// 6 informational, 7 debug); lower is more severe.

#include <cstdio>
#include <string>

namespace platform {

class LogClient {
public:
    virtual ~LogClient() = default;
    // Whether a message of `level` would be sent; callers format only then.
    virtual bool wouldSend(long level) const = 0;
    virtual void send(long level, const std::string& message) = 0;
};

// Writes "<level> message" lines to a C stream (standard error by default)
// for levels at or below its threshold.
class StreamLogClient : public LogClient {
public:
    explicit StreamLogClient(long threshold, std::FILE* stream = stderr) : mThreshold(threshold), mStream(stream) {}
    bool wouldSend(long level) const override { return level > 0 && level <= mThreshold; }
    void send(long level, const std::string& message) override;

private:
    long mThreshold;
    std::FILE* mStream;
};

}  // namespace platform
