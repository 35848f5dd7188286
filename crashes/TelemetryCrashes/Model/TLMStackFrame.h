#pragma once
// One frame of a call stack inside an error log. Every field may be absent;
// an empty text is a value.

#include "crashes/TelemetryCrashes/Internals/Util/TLMRecordFields.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <cstdint>
#include <optional>
#include <string>

class TLMStackFrame : public TLMSerializableObject {
public:
    TLMStackFrame() = default;
    explicit TLMStackFrame(const TLMKeyedUnarchiver& coder);

    const std::optional<std::string>& address() const { return mAddress; }
    void setAddress(std::optional<std::string> value) { mAddress = std::move(value); }
    const std::optional<std::string>& code() const { return mCode; }
    void setCode(std::optional<std::string> value) { mCode = std::move(value); }
    const std::optional<std::string>& className() const { return mClassName; }
    void setClassName(std::optional<std::string> value) { mClassName = std::move(value); }
    const std::optional<std::string>& methodName() const { return mMethodName; }
    void setMethodName(std::optional<std::string> value) { mMethodName = std::move(value); }
    const std::optional<std::int64_t>& lineNumber() const { return mLineNumber; }
    void setLineNumber(std::optional<std::int64_t> value) { mLineNumber = value; }
    const std::optional<std::string>& fileName() const { return mFileName; }
    void setFileName(std::optional<std::string> value) { mFileName = std::move(value); }

    // "address", "code", "className", "methodName", "lineNumber",
    // "fileName", each when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another frame (or a subclass) with the same six fields.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    static const TLMRecordField<TLMStackFrame> kFields[];

    std::optional<std::string> mAddress;
    std::optional<std::string> mCode;
    std::optional<std::string> mClassName;
    std::optional<std::string> mMethodName;
    std::optional<std::int64_t> mLineNumber;
    std::optional<std::string> mFileName;
};
