#pragma once
// The log of an error or exception the app reported itself.

#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"
#include "telemetry/core/Model/TLMLogWithProperties.h"

#include <memory>
#include <optional>
#include <string>

class TLMHandledErrorLog : public TLMLogWithProperties {
public:
    // Of type "handledError".
    TLMHandledErrorLog();
    explicit TLMHandledErrorLog(const TLMKeyedUnarchiver& coder);

    // A UUID text; attachments name it in their "errorId".
    const std::optional<std::string>& errorId() const { return mErrorId; }
    void setErrorId(std::optional<std::string> value) { mErrorId = std::move(value); }
    const std::shared_ptr<TLMExceptionModel>& exception() const { return mException; }
    void setException(std::shared_ptr<TLMExceptionModel> value) { mException = std::move(value); }

    // The base's keys, then "id" and "exception" (its object) when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // The base's checks, then the identifier (logged as "errorId") and the
    // exception must be present.
    bool isValid() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::optional<std::string> mErrorId;
    std::shared_ptr<TLMExceptionModel> mException;
};
