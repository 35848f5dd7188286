#pragma once
// The metadata of a unified-schema log: a tree that gives the type of each
// typed value in the log's data ("f" nodes), written as the object itself.
// The tree is read and written whole under a lock.

#include "telemetry/core/Model/TLMSerializableObject.h"
#include "telemetry/core/Model/UnifiedSchema/TLMLockedTree.h"

class TLMMetadataExtension : public TLMSerializableObject {
public:
    TLMMetadataExtension() = default;
    explicit TLMMetadataExtension(const TLMKeyedUnarchiver& coder)
        : mMetadata(coder.decodeJsonDictionary("metadata")) {}

    // A copy; empty when absent.
    TLMOrderedDictionary metadata() const { return mMetadata.get(); }
    void setMetadata(TLMOrderedDictionary value) { mMetadata.set(std::move(value)); }

    // The metadata's own entries.
    TLMOrderedDictionary serializeToDictionary() const override { return mMetadata.get(); }
    bool isValid() const { return true; }
    // Another metadata extension with equal pairs, in any order.
    bool isEqual(const TLMCoding& other) const override {
        const auto* record = dynamic_cast<const TLMMetadataExtension*>(&other);
        return record != nullptr && mMetadata.get().hasEqualPairs(record->mMetadata.get());
    }
    // The tree under "metadata"; it reads back with its keys sorted.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        coder.encodeJsonDictionary(mMetadata.get(), "metadata");
    }

private:
    TLMLockedTree mMetadata;
};
