#pragma once
// One thread of a crashed process inside an error log.

#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"
#include "crashes/TelemetryCrashes/Model/TLMStackFrame.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMThread : public TLMSerializableObject {
public:
    using Frames = std::vector<std::shared_ptr<TLMStackFrame>>;

    // With an empty list of frames.
    TLMThread() : mFrames(Frames()) {}
    // With what the archive holds: no list of frames unless it has one.
    explicit TLMThread(const TLMKeyedUnarchiver& coder);

    // The thread's number within the report.
    const std::optional<std::int64_t>& threadId() const { return mThreadId; }
    void setThreadId(std::optional<std::int64_t> value) { mThreadId = value; }
    const std::optional<std::string>& name() const { return mName; }
    void setName(std::optional<std::string> value) { mName = std::move(value); }
    // In the order unwound; none only for a thread read from an archive without them.
    const std::optional<Frames>& frames() const { return mFrames; }
    std::optional<Frames>& frames() { return mFrames; }
    void setFrames(std::optional<Frames> value) { mFrames = std::move(value); }
    const std::shared_ptr<TLMExceptionModel>& exception() const { return mException; }
    void setException(std::shared_ptr<TLMExceptionModel> value) { mException = std::move(value); }

    // "id", "name", "frames" (each frame's object), "exception", each when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // A number and at least one frame; the first failure is logged (the
    // number as "threadId").
    bool isValid() const;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // The JSON text of serializeToDictionary.
    std::string description() const;

private:
    std::optional<std::int64_t> mThreadId;
    std::optional<std::string> mName;
    std::optional<Frames> mFrames;
    std::shared_ptr<TLMExceptionModel> mException;
};
