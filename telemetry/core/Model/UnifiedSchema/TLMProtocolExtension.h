#pragma once
// The protocol part of a unified-schema log: the device's make and model,
// and the keys of the tickets that go with the log's request.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <optional>
#include <string>
#include <vector>

class TLMProtocolExtension : public TLMCSTextFieldsRecord<TLMProtocolExtension> {
public:
    TLMProtocolExtension() = default;
    explicit TLMProtocolExtension(const TLMKeyedUnarchiver& coder);

    // Set by the analytics transmission targets.
    const std::optional<std::vector<std::string>>& ticketKeys() const { return mTicketKeys; }
    void setTicketKeys(std::optional<std::vector<std::string>> value) { mTicketKeys = std::move(value); }
    const std::string& devMake() const { return mDevMake; }
    void setDevMake(std::string value) { mDevMake = std::move(value); }
    const std::string& devModel() const { return mDevModel; }
    void setDevModel(std::string value) { mDevModel = std::move(value); }

    // "ticketKeys", "devMake", "devModel", each when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"devMake", &TLMProtocolExtension::mDevMake},
                                            {"devModel", &TLMProtocolExtension::mDevModel}};
        return fields;
    }

private:
    std::optional<std::vector<std::string>> mTicketKeys;
    std::string mDevMake;
    std::string mDevModel;
};
