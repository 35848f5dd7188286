#pragma once
// The base of the timestamped entries that the device, session and user
// contexts keep in the settings as keyed archives.

#include "telemetry/Internals/Util/TLMKeyedArchiver.h"

#include <chrono>
#include <optional>

class TLMHistoryInfo : public TLMCoding {
public:
    using Timestamp = std::chrono::system_clock::time_point;

    explicit TLMHistoryInfo(std::optional<Timestamp> timestamp) : mTimestamp(timestamp) {}
    // Reads the timestamp from "timestampKey".
    explicit TLMHistoryInfo(const TLMKeyedUnarchiver& coder);

    const std::optional<Timestamp>& timestamp() const { return mTimestamp; }

    // Writes the timestamp under "timestampKey".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::optional<Timestamp> mTimestamp;
};
