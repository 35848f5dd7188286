#pragma once
// A record of the telemetry client: its JSON object for the ingestion
// service, and its keyed archive for storage.

#include "telemetry/core/Util/TLMKeyedArchiver.h"
#include "telemetry/core/Util/TLMOrderedDictionary.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMSerializableObject : public TLMCoding {
public:
    // The record's JSON object: only the fields that are set, never null.
    virtual TLMOrderedDictionary serializeToDictionary() const = 0;

    // ---- Helpers for writing and comparing records
    // Sets the text under the key unless it is empty (an absent field).
    static void setText(TLMOrderedDictionary& dictionary, const std::string& text, const std::string& key) {
        if (!text.empty()) dictionary.setObject(text, key);
    }
    // For records where an empty text is a value: sets it unless absent.
    static void setOptional(TLMOrderedDictionary& dictionary, const std::optional<std::string>& text,
                            const std::string& key) {
        if (text) dictionary.setObject(*text, key);
    }
    static void setOptional(TLMOrderedDictionary& dictionary, const std::optional<std::int64_t>& number,
                            const std::string& key) {
        if (number) dictionary.setObject(*number, key);
    }
    static void setOptional(TLMOrderedDictionary& dictionary, const std::optional<std::uint64_t>& number,
                            const std::string& key) {
        if (number) dictionary.setObject(*number, key);
    }

    // The records' JSON objects, in order.
    template <typename T>
    static TLMJsonValue::Array serializedArray(const std::vector<std::shared_ptr<T>>& records) {
        TLMJsonValue::Array array;
        array.reserve(records.size());
        for (const auto& record : records) array.emplace_back(record->serializeToDictionary());
        return array;
    }

    // Both null, or both set and equal by their isEqual.
    template <typename T>
    static bool sameObject(const std::shared_ptr<T>& one, const std::shared_ptr<T>& other) {
        return one && other ? one->isEqual(*other) : one == other;
    }
    // Both absent, or lists of the same length equal element by element.
    template <typename T>
    static bool sameObjects(const std::optional<std::vector<std::shared_ptr<T>>>& one,
                            const std::optional<std::vector<std::shared_ptr<T>>>& other) {
        if (!one || !other) return one.has_value() == other.has_value();
        if (one->size() != other->size()) return false;
        for (std::size_t i = 0; i < one->size(); ++i) {
            if (!sameObject((*one)[i], (*other)[i])) return false;
        }
        return true;
    }

protected:
    TLMSerializableObject() = default;
    TLMSerializableObject(const TLMSerializableObject&) = default;
    TLMSerializableObject& operator=(const TLMSerializableObject&) = default;

    // Logs "<class>: "<field>" is not valid." at verbose level, tag
    // "Telemetry" (the text is made only when printed); returns false.
    bool reportInvalidField(const char* fieldName) const;
};
