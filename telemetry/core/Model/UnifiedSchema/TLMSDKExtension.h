#pragma once
// The telemetry client of a unified-schema log: its library version, and
// the epoch, sequence number and installation that the unified-collector
// channel gives each log it prepares.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TLMSDKExtension : public TLMCSTextFieldsRecord<TLMSDKExtension> {
public:
    TLMSDKExtension() = default;
    explicit TLMSDKExtension(const TLMKeyedUnarchiver& coder);

    // The client's name and version joined by "-".
    const std::string& libVer() const { return mLibVer; }
    void setLibVer(std::string value) { mLibVer = std::move(value); }
    const std::string& epoch() const { return mEpoch; }
    void setEpoch(std::string value) { mEpoch = std::move(value); }
    // 0 when not set.
    std::int64_t seq() const { return mSeq; }
    void setSeq(std::int64_t value) { mSeq = value; }
    const std::optional<TLMUuid>& installId() const { return mInstallId; }
    void setInstallId(std::optional<TLMUuid> value) { mInstallId = value; }

    // "libVer", "epoch", "seq" (when not 0), "installId" (upper-case
    // canonical text), each when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"libVer", &TLMSDKExtension::mLibVer}, {"epoch", &TLMSDKExtension::mEpoch}};
        return fields;
    }

private:
    std::string mLibVer;
    std::string mEpoch;
    std::int64_t mSeq = 0;
    std::optional<TLMUuid> mInstallId;
};
