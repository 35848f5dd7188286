#pragma once
// A fatal exception that a wrapper SDK handed over, kept on disk until the
// crash report of the same process is processed at the next launch.

#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TLMWrapperException : public TLMSerializableObject {
public:
    using Data = std::vector<std::uint8_t>;

    TLMWrapperException() = default;
    explicit TLMWrapperException(const TLMKeyedUnarchiver& coder);

    const std::shared_ptr<TLMExceptionModel>& modelException() const { return mModelException; }
    void setModelException(std::shared_ptr<TLMExceptionModel> value) { mModelException = std::move(value); }
    // The wrapper runtime's own form of the exception.
    const std::optional<Data>& exceptionData() const { return mExceptionData; }
    void setExceptionData(std::optional<Data> value) { mExceptionData = std::move(value); }
    // The process that raised it; the crash report is matched by it.
    const std::optional<std::int64_t>& processId() const { return mProcessId; }
    void setProcessId(std::optional<std::int64_t> value) { mProcessId = value; }

    // "modelException" (its object), "processId", "exceptionData" (Base64),
    // each when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::shared_ptr<TLMExceptionModel> mModelException;
    std::optional<Data> mExceptionData;
    std::optional<std::int64_t> mProcessId;
};
