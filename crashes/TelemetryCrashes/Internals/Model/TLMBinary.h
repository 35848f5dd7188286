#pragma once
// One loaded executable image inside a crash error log. Every field may be
// absent; an empty text is a value.

#include "crashes/TelemetryCrashes/Internals/Util/TLMRecordFields.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <cstdint>
#include <optional>
#include <string>

class TLMBinary : public TLMSerializableObject {
public:
    TLMBinary() = default;
    explicit TLMBinary(const TLMKeyedUnarchiver& coder);

    const std::optional<std::string>& binaryId() const { return mBinaryId; }
    void setBinaryId(std::optional<std::string> value) { mBinaryId = std::move(value); }
    const std::optional<std::string>& startAddress() const { return mStartAddress; }
    void setStartAddress(std::optional<std::string> value) { mStartAddress = std::move(value); }
    const std::optional<std::string>& endAddress() const { return mEndAddress; }
    void setEndAddress(std::optional<std::string> value) { mEndAddress = std::move(value); }
    const std::optional<std::string>& name() const { return mName; }
    void setName(std::optional<std::string> value) { mName = std::move(value); }
    const std::optional<std::string>& path() const { return mPath; }
    void setPath(std::optional<std::string> value) { mPath = std::move(value); }
    const std::optional<std::string>& architecture() const { return mArchitecture; }
    void setArchitecture(std::optional<std::string> value) { mArchitecture = std::move(value); }
    // The image's processor type and subtype, unsigned as the report has
    // them (a subtype with capability bits set is not negative).
    const std::optional<std::uint64_t>& primaryArchitectureId() const { return mPrimaryArchitectureId; }
    void setPrimaryArchitectureId(std::optional<std::uint64_t> value) { mPrimaryArchitectureId = value; }
    const std::optional<std::uint64_t>& architectureVariantId() const { return mArchitectureVariantId; }
    void setArchitectureVariantId(std::optional<std::uint64_t> value) { mArchitectureVariantId = value; }

    // "id", "startAddress", "endAddress", "name", "path", "architecture",
    // "primaryArchitectureId", "architectureVariantId", each when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Identifier, both addresses, name and path present; the first missing
    // one is logged.
    bool isValid() const;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // The JSON text of serializeToDictionary.
    std::string description() const;

private:
    static const TLMRecordField<TLMBinary> kFields[];

    std::optional<std::string> mBinaryId;
    std::optional<std::string> mStartAddress;
    std::optional<std::string> mEndAddress;
    std::optional<std::string> mName;
    std::optional<std::string> mPath;
    std::optional<std::string> mArchitecture;
    std::optional<std::uint64_t> mPrimaryArchitectureId;
    std::optional<std::uint64_t> mArchitectureVariantId;
};
