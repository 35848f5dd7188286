#pragma once
// An error or exception inside an error log: its type, message and call
// stack, as one text and as frames. Every field may be absent; an empty text
// is a value.

#include "crashes/TelemetryCrashes/Model/TLMStackFrame.h"
#include "platform/foundation/Error.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMExceptionModel : public TLMSerializableObject {
public:
    using Frames = std::vector<std::shared_ptr<TLMStackFrame>>;
    using SymbolLines = std::vector<std::string>;

    TLMExceptionModel() = default;
    explicit TLMExceptionModel(const TLMKeyedUnarchiver& coder);
    // The error's domain as type and the text of its user info as message
    // (none for empty user info); the stack is the calling thread's.
    explicit TLMExceptionModel(const platform::Error& error);
    // The exception's class as type and its what() as message; a C++
    // exception carries no stack, so there is no stack text and the frames
    // are the calling thread's.
    explicit TLMExceptionModel(const std::exception& exception);
    // Type and message as given; the stack is `stackTrace`, or the calling
    // thread's when none is given.
    TLMExceptionModel(std::optional<std::string> type, std::optional<std::string> exceptionMessage,
                      const std::optional<SymbolLines>& stackTrace);

    // The frames of symbol lines of the platform's form, one frame a line
    // that has one: a frame number, the image name (blanks and dots
    // allowed), a hexadecimal address, then optionally the symbol and
    // " + " and a decimal offset. "-[Class method]" and "+[Class method]"
    // give class and method name, any other symbol the method name alone.
    // Other lines are skipped.
    static Frames loadStackTrace(const std::optional<SymbolLines>& symbolLines);

    const std::optional<std::string>& type() const { return mType; }
    void setType(std::optional<std::string> value) { mType = std::move(value); }
    const std::optional<std::string>& message() const { return mMessage; }
    void setMessage(std::optional<std::string> value) { mMessage = std::move(value); }
    const std::optional<std::string>& stackTrace() const { return mStackTrace; }
    void setStackTrace(std::optional<std::string> value) { mStackTrace = std::move(value); }
    const std::optional<Frames>& frames() const { return mFrames; }
    void setFrames(std::optional<Frames> value) { mFrames = std::move(value); }

    // "type", "message", "stackTrace", "frames" (each frame's object), each
    // when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // A type and at least one frame; the first failure is logged.
    virtual bool isValid() const;
    // Another exception model (or a subclass) with the same type, message,
    // frames in order and stack text.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    void setStack(const SymbolLines& lines);

    std::optional<std::string> mType;
    std::optional<std::string> mMessage;
    std::optional<std::string> mStackTrace;
    std::optional<Frames> mFrames;
};
