#pragma once
// The unified-schema form of a log, sent to the unified collector: schema
// version, event name, time, instrumentation key, flags, extensions and
// data. Any log addressed to transmission targets turns into one of these
// per target token (TLMAbstractLog::toUnifiedSchemaLogsWithFlags).
//
// Of the base's fields only the timestamp is written (as "time"); the
// others are archived but never sent.

#include "telemetry/core/Model/TLMAbstractLog.h"
#include "telemetry/core/Model/UnifiedSchema/TLMCSData.h"
#include "telemetry/core/Model/UnifiedSchema/TLMCSExtensions.h"

#include <cstdint>
#include <memory>
#include <string>

class TLMUnifiedSchemaLog : public TLMAbstractLog {
public:
    TLMUnifiedSchemaLog() = default;
    explicit TLMUnifiedSchemaLog(const TLMKeyedUnarchiver& coder);

    // "3.0" when made by conversion.
    const std::string& ver() const { return mVer; }
    void setVer(std::string ver) { mVer = std::move(ver); }
    const std::string& name() const { return mName; }
    void setName(std::string name) { mName = std::move(name); }
    // Stored, compared and archived; never sent.
    double popSample() const { return mPopSample; }
    void setPopSample(double popSample) { mPopSample = popSample; }
    // "o:" and the target key of the log's token.
    const std::string& iKey() const { return mIKey; }
    void setIKey(std::string iKey) { mIKey = std::move(iKey); }
    // The flags the log was enqueued with.
    std::int64_t flags() const { return mFlags; }
    void setFlags(std::int64_t flags) { mFlags = flags; }
    // Stored, compared and archived; never sent.
    const std::string& cV() const { return mCV; }
    void setCV(std::string cV) { mCV = std::move(cV); }
    const std::shared_ptr<TLMCSExtensions>& ext() const { return mExt; }
    void setExt(std::shared_ptr<TLMCSExtensions> ext) { mExt = std::move(ext); }
    const std::shared_ptr<TLMCSData>& data() const { return mData; }
    void setData(std::shared_ptr<TLMCSData> data) { mData = std::move(data); }

    // "ver", "name", "time", "iKey", "flags" (when not 0), "ext" and "data"
    // (when it holds anything), in that order, each only when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    // A timestamp, a version and a name; the first one missing is logged.
    // Neither type nor device is asked for.
    bool isValid() const override;
    // Another unified-schema log equal in the base's fields and its own.
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, then its own under their keys.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::string mVer;
    std::string mName;
    double mPopSample = 0;
    std::string mIKey;
    std::int64_t mFlags = 0;
    std::string mCV;
    std::shared_ptr<TLMCSExtensions> mExt;
    std::shared_ptr<TLMCSData> mData;
};
