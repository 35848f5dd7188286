#pragma once
// The network of a unified-schema log.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <string>
#include <vector>

class TLMNetExtension : public TLMCSTextFieldsRecord<TLMNetExtension> {
public:
    TLMNetExtension() = default;
    explicit TLMNetExtension(const TLMKeyedUnarchiver& coder) { decodeTextFields(coder); }

    // The carrier's name.
    const std::string& provider() const { return mProvider; }
    void setProvider(std::string value) { mProvider = std::move(value); }

    // JSON and archive keys: "provider".
    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"provider", &TLMNetExtension::mProvider}};
        return fields;
    }

private:
    std::string mProvider;
};
