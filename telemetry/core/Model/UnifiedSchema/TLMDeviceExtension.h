#pragma once
// The device of a unified-schema log: made empty by conversion; a transmission
// target sets the identifier when the application asks for it.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <string>
#include <vector>

class TLMDeviceExtension : public TLMCSTextFieldsRecord<TLMDeviceExtension> {
public:
    TLMDeviceExtension() = default;
    explicit TLMDeviceExtension(const TLMKeyedUnarchiver& coder) { decodeTextFields(coder); }

    const std::string& localId() const { return mLocalId; }
    void setLocalId(std::string value) { mLocalId = std::move(value); }

    // JSON and archive keys: "localId".
    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"localId", &TLMDeviceExtension::mLocalId}};
        return fields;
    }

private:
    std::string mLocalId;
};
