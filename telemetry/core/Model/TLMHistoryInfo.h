#pragma once
// The base of the timestamped entries that the device, session and user
// contexts keep in the settings as keyed archives.

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <chrono>
#include <optional>
#include <string>

class TLMHistoryInfo : public TLMCoding {
public:
    using Timestamp = std::chrono::system_clock::time_point;

    explicit TLMHistoryInfo(std::optional<Timestamp> timestamp) : mTimestamp(timestamp) {}
    // Reads the timestamp from "timestampKey".
    explicit TLMHistoryInfo(const TLMKeyedUnarchiver& coder);

    const std::optional<Timestamp>& timestamp() const { return mTimestamp; }

    // Writes the timestamp under "timestampKey".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

protected:
    // The text under the key, an empty one included; none when absent.
    static std::optional<std::string> optionalText(const TLMKeyedUnarchiver& coder, const std::string& key) {
        const TLMArchiveValue* value = coder.decodeObject(key);
        if (value == nullptr || value->isNull()) return std::nullopt;
        return coder.decodeString(key);
    }

private:
    std::optional<Timestamp> mTimestamp;
};
