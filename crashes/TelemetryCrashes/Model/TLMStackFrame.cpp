#include "crashes/TelemetryCrashes/Model/TLMStackFrame.h"

TLMStackFrame::TLMStackFrame(const TLMKeyedUnarchiver& coder)
    : mAddress(coder.decodeOptionalString("address")),
      mCode(coder.decodeOptionalString("code")),
      mClassName(coder.decodeOptionalString("className")),
      mMethodName(coder.decodeOptionalString("methodName")),
      mLineNumber(coder.decodeInteger("lineNumber")),
      mFileName(coder.decodeOptionalString("fileName")) {}

TLMOrderedDictionary TLMStackFrame::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setOptional(dictionary, mAddress, "address");
    setOptional(dictionary, mCode, "code");
    setOptional(dictionary, mClassName, "className");
    setOptional(dictionary, mMethodName, "methodName");
    setOptional(dictionary, mLineNumber, "lineNumber");
    setOptional(dictionary, mFileName, "fileName");
    return dictionary;
}

bool TLMStackFrame::isEqual(const TLMCoding& other) const {
    const auto* frame = dynamic_cast<const TLMStackFrame*>(&other);
    return frame != nullptr && mAddress == frame->mAddress && mCode == frame->mCode &&
           mClassName == frame->mClassName && mMethodName == frame->mMethodName && mLineNumber == frame->mLineNumber &&
           mFileName == frame->mFileName;
}

void TLMStackFrame::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeOptionalString(mAddress, "address");
    coder.encodeOptionalString(mCode, "code");
    coder.encodeOptionalString(mClassName, "className");
    coder.encodeOptionalString(mMethodName, "methodName");
    coder.encodeOptionalInteger(mLineNumber, "lineNumber");
    coder.encodeOptionalString(mFileName, "fileName");
}
