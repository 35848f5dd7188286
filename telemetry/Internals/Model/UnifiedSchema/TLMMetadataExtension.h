#pragma once
// The metadata of a unified-schema log: a tree that gives the type of each
// typed value in the log's data ("f" nodes), written as the object itself.

#include "telemetry/Internals/Model/TLMSerializableObject.h"

class TLMMetadataExtension : public TLMSerializableObject {
public:
    TLMMetadataExtension() = default;
    explicit TLMMetadataExtension(const TLMKeyedUnarchiver& coder)
        : mMetadata(coder.decodeJsonDictionary("metadata")) {}

    // Empty when absent.
    const TLMOrderedDictionary& metadata() const { return mMetadata; }
    void setMetadata(TLMOrderedDictionary value) { mMetadata = std::move(value); }

    // The metadata's own entries.
    TLMOrderedDictionary serializeToDictionary() const override { return mMetadata; }
    bool isValid() const { return true; }
    // Another metadata extension with equal pairs, in any order.
    bool isEqual(const TLMCoding& other) const override {
        const auto* record = dynamic_cast<const TLMMetadataExtension*>(&other);
        return record != nullptr && mMetadata.hasEqualPairs(record->mMetadata);
    }
    // The tree under "metadata"; it reads back with its keys sorted.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override { coder.encodeJsonDictionary(mMetadata, "metadata"); }

private:
    TLMOrderedDictionary mMetadata;
};
