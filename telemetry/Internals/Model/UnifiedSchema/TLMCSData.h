#pragma once
// The data section of a unified-schema log: the event's data tree, with
// "baseType" and "baseData" ahead of every other key.
//
// A plain record: its tree is copied in and out whole, so a log read on
// another thread never sees it half-changed.

#include "telemetry/Internals/Model/TLMSerializableObject.h"

class TLMCSData : public TLMSerializableObject {
public:
    TLMCSData() = default;
    explicit TLMCSData(const TLMKeyedUnarchiver& coder) : mProperties(coder.decodeJsonDictionary("properties")) {}

    // Empty when absent.
    const TLMOrderedDictionary& properties() const { return mProperties; }
    void setProperties(TLMOrderedDictionary properties) { mProperties = std::move(properties); }

    // "baseType" and "baseData" first when present, then the other keys in
    // the tree's order; empty without properties.
    TLMOrderedDictionary serializeToDictionary() const override;
    bool isValid() const { return true; }
    // Another data section with equal pairs, in any order.
    bool isEqual(const TLMCoding& other) const override;
    // The tree under "properties"; it reads back with its keys sorted.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    TLMOrderedDictionary mProperties;
};
