#pragma once
// A record of the telemetry client: its JSON object for the ingestion
// service, and its keyed archive for storage.

#include "telemetry/Internals/Util/TLMKeyedArchiver.h"
#include "telemetry/Internals/Util/TLMOrderedDictionary.h"

class TLMSerializableObject : public TLMCoding {
public:
    // The record's JSON object: only the fields that are set, never null.
    virtual TLMOrderedDictionary serializeToDictionary() const = 0;

protected:
    TLMSerializableObject() = default;
    TLMSerializableObject(const TLMSerializableObject&) = default;
    TLMSerializableObject& operator=(const TLMSerializableObject&) = default;

    // Logs "<class>: "<field>" is not valid." at verbose level, tag
    // "Telemetry" (the text is made only when printed); returns false.
    bool reportInvalidField(const char* fieldName) const;

    // Sets the text under the key unless it is empty (an absent field).
    static void setText(TLMOrderedDictionary& dictionary, const std::string& text, const std::string& key) {
        if (!text.empty()) dictionary.setObject(text, key);
    }
};
