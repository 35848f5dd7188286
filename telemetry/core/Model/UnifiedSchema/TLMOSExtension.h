#pragma once
// The operating system of a unified-schema log.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <string>
#include <vector>

class TLMOSExtension : public TLMCSTextFieldsRecord<TLMOSExtension> {
public:
    TLMOSExtension() = default;
    explicit TLMOSExtension(const TLMKeyedUnarchiver& coder) { decodeTextFields(coder); }

    const std::string& name() const { return mName; }
    void setName(std::string value) { mName = std::move(value); }
    // "Version 17.2 (Build 21C62)".
    const std::string& ver() const { return mVer; }
    void setVer(std::string value) { mVer = std::move(value); }

    // JSON and archive keys: "name", "ver".
    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"name", &TLMOSExtension::mName}, {"ver", &TLMOSExtension::mVer}};
        return fields;
    }

private:
    std::string mName;
    std::string mVer;
};
