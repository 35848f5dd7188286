#pragma once
// One page view: a name and string properties.

#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"

class TLMPageLog : public TLMLogWithNameAndProperties {
public:
    TLMPageLog() { setType("page"); }
    explicit TLMPageLog(const TLMKeyedUnarchiver& coder) : TLMLogWithNameAndProperties(coder) {}

    // Another page log equal in the base's fields.
    bool isEqual(const TLMCoding& other) const override {
        return dynamic_cast<const TLMPageLog*>(&other) != nullptr && TLMLogWithNameAndProperties::isEqual(other);
    }
};
