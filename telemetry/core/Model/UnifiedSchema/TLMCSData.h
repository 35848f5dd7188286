#pragma once
// The data section of a unified-schema log: the event's data tree, with
// "baseType" and "baseData" ahead of every other key. The tree is read and
// written whole under a lock.

#include "telemetry/core/Model/TLMSerializableObject.h"
#include "telemetry/core/Model/UnifiedSchema/TLMLockedTree.h"

class TLMCSData : public TLMSerializableObject {
public:
    TLMCSData() = default;
    explicit TLMCSData(const TLMKeyedUnarchiver& coder) : mProperties(coder.decodeJsonDictionary("properties")) {}

    // A copy; empty when absent.
    TLMOrderedDictionary properties() const { return mProperties.get(); }
    void setProperties(TLMOrderedDictionary properties) { mProperties.set(std::move(properties)); }

    // "baseType" and "baseData" first when present, then the other keys in
    // the tree's order; empty without properties.
    TLMOrderedDictionary serializeToDictionary() const override;
    bool isValid() const { return true; }
    // Another data section with equal pairs, in any order.
    bool isEqual(const TLMCoding& other) const override;
    // The tree under "properties"; it reads back with its keys sorted.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    TLMLockedTree mProperties;
};
