#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"

#include "platform/foundation/UUID.h"
#include "platform/security/Crypto.h"

TLMErrorAttachmentLog::TLMErrorAttachmentLog() : mAttachmentId(platform::newUUIDString()) {
    setType("errorAttachment");
}

TLMErrorAttachmentLog::TLMErrorAttachmentLog(std::optional<std::string> filename, std::optional<Data> attachmentBinary,
                                             std::optional<std::string> contentType)
    : TLMErrorAttachmentLog() {
    mFilename = std::move(filename);
    mData = std::move(attachmentBinary);
    mContentType = std::move(contentType);
}

TLMErrorAttachmentLog::TLMErrorAttachmentLog(std::optional<std::string> filename,
                                             const std::optional<std::string>& attachmentText)
    : TLMErrorAttachmentLog(
          std::move(filename),
          attachmentText ? std::optional<Data>(Data(attachmentText->begin(), attachmentText->end())) : std::nullopt,
          std::string("text/plain")) {}

TLMErrorAttachmentLog::TLMErrorAttachmentLog(const TLMKeyedUnarchiver& coder)
    : TLMAbstractLog(coder),
      mAttachmentId(coder.decodeOptionalString("id")),
      mErrorId(coder.decodeOptionalString("errorId")),
      mContentType(coder.decodeOptionalString("contentType")),
      mFilename(coder.decodeOptionalString("fileName")),
      mData(coder.decodeData("data")) {}

std::shared_ptr<TLMErrorAttachmentLog> TLMErrorAttachmentLog::attachmentWithText(const std::optional<std::string>& text,
                                                                                 std::optional<std::string> filename) {
    return std::make_shared<TLMErrorAttachmentLog>(std::move(filename), text);
}

std::shared_ptr<TLMErrorAttachmentLog> TLMErrorAttachmentLog::attachmentWithBinary(
    std::optional<Data> data, std::optional<std::string> filename, std::optional<std::string> contentType) {
    return std::make_shared<TLMErrorAttachmentLog>(std::move(filename), std::move(data), std::move(contentType));
}

TLMOrderedDictionary TLMErrorAttachmentLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMAbstractLog::serializeToDictionary();
    setOptional(dictionary, mAttachmentId, "id");
    setOptional(dictionary, mErrorId, "errorId");
    setOptional(dictionary, mContentType, "contentType");
    setOptional(dictionary, mFilename, "fileName");
    if (mData) dictionary.setObject(platform::security::base64Encode(*mData), "data");
    return dictionary;
}

bool TLMErrorAttachmentLog::isValid() const {
    if (!TLMAbstractLog::isValid()) return false;
    if (!mErrorId) return reportInvalidField("errorId");
    if (!mAttachmentId) return reportInvalidField("attachmentId");
    if (!mData) return reportInvalidField("data");
    if (!mContentType) return reportInvalidField("contentType");
    return true;
}

bool TLMErrorAttachmentLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMErrorAttachmentLog*>(&other);
    return log != nullptr && TLMAbstractLog::isEqual(other) && mAttachmentId == log->mAttachmentId &&
           mErrorId == log->mErrorId && mContentType == log->mContentType && mFilename == log->mFilename &&
           mData == log->mData;
}

void TLMErrorAttachmentLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMAbstractLog::encodeWithCoder(coder);
    coder.encodeOptionalString(mAttachmentId, "id");
    coder.encodeOptionalString(mErrorId, "errorId");
    coder.encodeOptionalString(mContentType, "contentType");
    coder.encodeOptionalString(mFilename, "fileName");
    coder.encodeData(mData, "data");
}
