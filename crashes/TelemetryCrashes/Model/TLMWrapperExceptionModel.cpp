#include "crashes/TelemetryCrashes/Model/TLMWrapperExceptionModel.h"

TLMWrapperExceptionModel::TLMWrapperExceptionModel(const TLMKeyedUnarchiver& coder)
    : TLMExceptionModel(coder),
      mInnerExceptions(coder.decodeArrayOfObjectsOfClass<TLMWrapperExceptionModel>("innerExceptions")),
      mWrapperSdkName(coder.decodeOptionalString("wrapperSdkName")) {}

TLMOrderedDictionary TLMWrapperExceptionModel::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMExceptionModel::serializeToDictionary();
    setOptional(dictionary, mWrapperSdkName, "wrapperSdkName");
    if (mInnerExceptions) dictionary.setObject(serializedArray(*mInnerExceptions), "innerExceptions");
    return dictionary;
}

bool TLMWrapperExceptionModel::isEqual(const TLMCoding& other) const {
    const auto* model = dynamic_cast<const TLMWrapperExceptionModel*>(&other);
    return model != nullptr && TLMExceptionModel::isEqual(other) && mWrapperSdkName == model->mWrapperSdkName &&
           sameObjects(mInnerExceptions, model->mInnerExceptions);
}

void TLMWrapperExceptionModel::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMExceptionModel::encodeWithCoder(coder);
    coder.encodeObjectArray(mInnerExceptions, "innerExceptions");
    coder.encodeOptionalString(mWrapperSdkName, "wrapperSdkName");
}
