#pragma once
// The base of the named analytics logs (events, pages).

#include "telemetry/core/Model/TLMLogWithProperties.h"

#include <string>

class TLMLogWithNameAndProperties : public TLMLogWithProperties {
public:
    TLMLogWithNameAndProperties() = default;
    explicit TLMLogWithNameAndProperties(const TLMKeyedUnarchiver& coder);

    const std::string& name() const { return mName; }
    void setName(std::string name) { mName = std::move(name); }

    // The base's checks and a non-empty name.
    bool isValid() const override;
    // The base's keys, then "name" when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another named log (or a subclass), equal in the base's fields and the
    // name.
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, then "name".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::string mName;
};
