#pragma once
// The user of a unified-schema log.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <string>
#include <vector>

class TLMUserExtension : public TLMCSTextFieldsRecord<TLMUserExtension> {
public:
    TLMUserExtension() = default;
    explicit TLMUserExtension(const TLMKeyedUnarchiver& coder) { decodeTextFields(coder); }

    // The user id with its prefix, "c:" when it had none.
    const std::string& localId() const { return mLocalId; }
    void setLocalId(std::string value) { mLocalId = std::move(value); }
    // The device's locale with "-": "de-DE".
    const std::string& locale() const { return mLocale; }
    void setLocale(std::string value) { mLocale = std::move(value); }

    // JSON and archive keys: "localId", "locale".
    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"localId", &TLMUserExtension::mLocalId},
                                            {"locale", &TLMUserExtension::mLocale}};
        return fields;
    }

private:
    std::string mLocalId;
    std::string mLocale;
};
