#pragma once
// The base of every record the telemetry client stores and sends.

#include <chrono>
#include <optional>
#include <string>

class TLMAbstractLog {
public:
    using Timestamp = std::chrono::system_clock::time_point;

    virtual ~TLMAbstractLog() = default;

    const std::string& type() const { return mType; }
    void setType(std::string type) { mType = std::move(type); }

    // Filled by the channel with the enqueueing time when missing.
    const std::optional<Timestamp>& timestamp() const { return mTimestamp; }
    void setTimestamp(std::optional<Timestamp> timestamp) { mTimestamp = timestamp; }

    // Whether the log may be sent: a type and a timestamp. A failing check
    // is logged at verbose level with the class and the field's name.
    virtual bool isValid() const;

    // The class name ("TLMEventLog"), used in validity messages.
    std::string className() const;

protected:
    TLMAbstractLog() = default;
    TLMAbstractLog(const TLMAbstractLog&) = default;
    TLMAbstractLog& operator=(const TLMAbstractLog&) = default;

    // Logs "<class>: "<field>" is not valid." at verbose level; returns false.
    bool reportInvalidField(const char* fieldName) const;

private:
    std::string mType;
    std::optional<Timestamp> mTimestamp;
};
