#pragma once
// A log that carries a dictionary of string properties: the base of the
// named analytics logs and of the crash error logs.

#include "telemetry/core/Model/TLMAbstractLog.h"

#include <map>
#include <string>

class TLMLogWithProperties : public TLMAbstractLog {
public:
    using Properties = std::map<std::string, std::string>;

    TLMLogWithProperties() = default;
    explicit TLMLogWithProperties(const TLMKeyedUnarchiver& coder);

    // Empty when absent.
    const Properties& properties() const { return mProperties; }
    void setProperties(Properties properties) { mProperties = std::move(properties); }

    // The base's keys, then "properties" when there is at least one.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another log with properties (or a subclass), equal in the base's
    // fields and the properties.
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, then "properties".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    Properties mProperties;
};
