#pragma once
// What the extension records of the unified-schema log share: a table of
// text fields, each written, compared and archived under one key. A record
// with more than texts adds its own fields after the table's.
//
// `Record` lists its texts as `static std::span<const TextField>
// textFields()` over a constant array, in declaration order; an empty text is
// an absent field. The array has nothing to destroy: logs are still written
// on the logs queue while the process exits.

#include "telemetry/core/Model/TLMSerializableObject.h"

#include <span>
#include <string>

template <typename Record>
class TLMCSTextFieldsRecord : public TLMSerializableObject {
public:
    struct TextField {
        const char* key;
        std::string Record::*member;
    };

    // The texts that are set, under their keys; empty when none is, so the
    // record then writes no key in "ext".
    TLMOrderedDictionary serializeToDictionary() const override {
        TLMOrderedDictionary dictionary;
        for (const TextField& field : Record::textFields()) setText(dictionary, self().*field.member, field.key);
        return dictionary;
    }

    // Extension records are always valid.
    virtual bool isValid() const { return true; }

    // A record of the same class with the same texts.
    bool isEqual(const TLMCoding& other) const override {
        const auto* record = dynamic_cast<const Record*>(&other);
        if (record == nullptr) return false;
        for (const TextField& field : Record::textFields()) {
            if (self().*field.member != record->*field.member) return false;
        }
        return true;
    }

    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        for (const TextField& field : Record::textFields()) coder.encodeString(self().*field.member, field.key);
    }

protected:
    TLMCSTextFieldsRecord() = default;

    void decodeTextFields(const TLMKeyedUnarchiver& coder) {
        for (const TextField& field : Record::textFields()) {
            static_cast<Record&>(*this).*field.member = coder.decodeString(field.key);
        }
    }

private:
    const Record& self() const { return static_cast<const Record&>(*this); }
};
