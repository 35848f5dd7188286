#pragma once
// A table of a crash record's plain fields (texts and numbers that may be
// absent) serves its JSON, equality and archive alike, so the key of a field
// cannot differ between them. Fields are handled in the table's order.
// Unsigned numbers are written to JSON as such and archived as the signed
// integer of the same bits, the form earlier releases archived them in.

#include "telemetry/core/Model/TLMSerializableObject.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

template <typename Record>
struct TLMRecordField {
    const char* key;
    std::optional<std::string> Record::*text = nullptr;  // one of these
    std::optional<std::int64_t> Record::*number = nullptr;
    std::optional<std::uint64_t> Record::*unsignedNumber = nullptr;
};

template <typename Record>
void TLMSerializeFields(const Record& record, std::span<const TLMRecordField<Record>> fields,
                        TLMOrderedDictionary& dictionary) {
    for (const auto& field : fields) {
        if (field.text) {
            TLMSerializableObject::setOptional(dictionary, record.*field.text, field.key);
        } else if (field.number) {
            TLMSerializableObject::setOptional(dictionary, record.*field.number, field.key);
        } else {
            TLMSerializableObject::setOptional(dictionary, record.*field.unsignedNumber, field.key);
        }
    }
}

template <typename Record>
bool TLMSameFields(const Record& one, const Record& other, std::span<const TLMRecordField<Record>> fields) {
    for (const auto& field : fields) {
        const bool same = field.text     ? one.*field.text == other.*field.text
                          : field.number ? one.*field.number == other.*field.number
                                         : one.*field.unsignedNumber == other.*field.unsignedNumber;
        if (!same) return false;
    }
    return true;
}

template <typename Record>
void TLMEncodeFields(const Record& record, std::span<const TLMRecordField<Record>> fields, TLMKeyedArchiver& coder) {
    for (const auto& field : fields) {
        if (field.text) {
            coder.encodeOptionalString(record.*field.text, field.key);
        } else if (field.number) {
            coder.encodeOptionalInteger(record.*field.number, field.key);
        } else if (const auto& number = record.*field.unsignedNumber) {
            coder.encodeInteger(static_cast<std::int64_t>(*number), field.key);
        }
    }
}

template <typename Record>
void TLMDecodeFields(Record& record, std::span<const TLMRecordField<Record>> fields, const TLMKeyedUnarchiver& coder) {
    for (const auto& field : fields) {
        if (field.text) {
            record.*field.text = coder.decodeOptionalString(field.key);
        } else if (field.number) {
            record.*field.number = coder.decodeInteger(field.key);
        } else if (const auto number = coder.decodeInteger(field.key)) {
            record.*field.unsignedNumber = static_cast<std::uint64_t>(*number);
        } else {
            record.*field.unsignedNumber = std::nullopt;
        }
    }
}
