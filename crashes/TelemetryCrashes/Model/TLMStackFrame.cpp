#include "crashes/TelemetryCrashes/Model/TLMStackFrame.h"

const TLMRecordField<TLMStackFrame> TLMStackFrame::kFields[] = {
    {"address", &TLMStackFrame::mAddress},
    {"code", &TLMStackFrame::mCode},
    {"className", &TLMStackFrame::mClassName},
    {"methodName", &TLMStackFrame::mMethodName},
    {"lineNumber", nullptr, &TLMStackFrame::mLineNumber},
    {"fileName", &TLMStackFrame::mFileName},
};

TLMStackFrame::TLMStackFrame(const TLMKeyedUnarchiver& coder) { TLMDecodeFields<TLMStackFrame>(*this, kFields, coder); }

TLMOrderedDictionary TLMStackFrame::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    TLMSerializeFields<TLMStackFrame>(*this, kFields, dictionary);
    return dictionary;
}

bool TLMStackFrame::isEqual(const TLMCoding& other) const {
    const auto* frame = dynamic_cast<const TLMStackFrame*>(&other);
    return frame != nullptr && TLMSameFields<TLMStackFrame>(*this, *frame, kFields);
}

void TLMStackFrame::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMEncodeFields<TLMStackFrame>(*this, kFields, coder);
}
