#pragma once
// The location of a unified-schema log: the device's time zone.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <string>
#include <vector>

class TLMLocExtension : public TLMCSTextFieldsRecord<TLMLocExtension> {
public:
    TLMLocExtension() = default;
    explicit TLMLocExtension(const TLMKeyedUnarchiver& coder) { decodeTextFields(coder); }

    // The offset from UTC, "+05:30" or "-00:30".
    const std::string& tz() const { return mTz; }
    void setTz(std::string value) { mTz = std::move(value); }

    // JSON and archive keys: "tz".
    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"tz", &TLMLocExtension::mTz}};
        return fields;
    }

private:
    std::string mTz;
};
