#pragma once
// A table of a crash record's plain fields (texts and numbers that may be
// absent) serves its JSON, equality and archive alike, so the key of a field
// cannot differ between them. Fields are handled in the table's order.

#include "telemetry/Internals/Model/TLMSerializableObject.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

template <typename Record>
struct TLMRecordField {
    const char* key;
    std::optional<std::string> Record::*text = nullptr;     // either this
    std::optional<std::int64_t> Record::*number = nullptr;  // or this
};

template <typename Record>
void TLMSerializeFields(const Record& record, std::span<const TLMRecordField<Record>> fields,
                        TLMOrderedDictionary& dictionary) {
    for (const auto& field : fields) {
        if (field.text) {
            TLMSerializableObject::setOptional(dictionary, record.*field.text, field.key);
        } else {
            TLMSerializableObject::setOptional(dictionary, record.*field.number, field.key);
        }
    }
}

template <typename Record>
bool TLMSameFields(const Record& one, const Record& other, std::span<const TLMRecordField<Record>> fields) {
    for (const auto& field : fields) {
        if (field.text ? one.*field.text != other.*field.text : one.*field.number != other.*field.number) return false;
    }
    return true;
}

template <typename Record>
void TLMEncodeFields(const Record& record, std::span<const TLMRecordField<Record>> fields, TLMKeyedArchiver& coder) {
    for (const auto& field : fields) {
        if (field.text) {
            coder.encodeOptionalString(record.*field.text, field.key);
        } else {
            coder.encodeOptionalInteger(record.*field.number, field.key);
        }
    }
}

template <typename Record>
void TLMDecodeFields(Record& record, std::span<const TLMRecordField<Record>> fields, const TLMKeyedUnarchiver& coder) {
    for (const auto& field : fields) {
        if (field.text) {
            record.*field.text = coder.decodeOptionalString(field.key);
        } else {
            record.*field.number = coder.decodeInteger(field.key);
        }
    }
}
