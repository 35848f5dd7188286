#pragma once
// An exception of a wrapper SDK's runtime (the framework that embeds the
// telemetry client), with the exceptions it wraps.

#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMWrapperExceptionModel : public TLMExceptionModel {
public:
    using InnerExceptions = std::vector<std::shared_ptr<TLMWrapperExceptionModel>>;

    using TLMExceptionModel::TLMExceptionModel;
    explicit TLMWrapperExceptionModel(const TLMKeyedUnarchiver& coder);

    const std::optional<InnerExceptions>& innerExceptions() const { return mInnerExceptions; }
    void setInnerExceptions(std::optional<InnerExceptions> value) { mInnerExceptions = std::move(value); }
    const std::optional<std::string>& wrapperSdkName() const { return mWrapperSdkName; }
    void setWrapperSdkName(std::optional<std::string> value) { mWrapperSdkName = std::move(value); }

    // The exception model's keys, then "wrapperSdkName" and
    // "innerExceptions" (each inner one's object; an empty list too), each
    // when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another wrapper exception model equal as an exception model, in the
    // SDK name and in the inner exceptions in order.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::optional<InnerExceptions> mInnerExceptions;
    std::optional<std::string> mWrapperSdkName;
};
