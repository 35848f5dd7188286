#pragma once
// Facts about a process for the report writer, read from /proc at set-up
// time (not on the crash path).

#include <sys/time.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

class TLCrashProcessInfo {
public:
    // The own process; null when it cannot be read.
    static std::shared_ptr<TLCrashProcessInfo> currentProcessInfo();
    // The process `processID`; null when there is none or it cannot be read.
    static std::shared_ptr<TLCrashProcessInfo> makeWithProcessID(pid_t processID);

    pid_t processID() const { return _processID; }
    // The kernel's name of the process (its first 15 bytes), cut before a
    // character the cut split; absent when nothing is left.
    const std::optional<std::string>& processName() const { return _processName; }
    pid_t parentProcessID() const { return _parentProcessID; }
    // Since the epoch, to the kernel's clock tick.
    timeval startTime() const { return _startTime; }
    // Whether a debugger (any tracer) is attached.
    bool isTraced() const { return _traced; }

    TLCrashProcessInfo(pid_t processID, std::optional<std::string> processName, pid_t parentProcessID,
                       timeval startTime, bool traced)
        : _processID(processID),
          _processName(std::move(processName)),
          _parentProcessID(parentProcessID),
          _startTime(startTime),
          _traced(traced) {}

private:
    pid_t _processID;
    std::optional<std::string> _processName;
    pid_t _parentProcessID;
    timeval _startTime;
    bool _traced;
};
