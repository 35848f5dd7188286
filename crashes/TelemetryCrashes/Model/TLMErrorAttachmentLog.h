#pragma once
// A small file (text or bytes) sent with an error as a log of its own. The
// crashes service points it at its error (errorId) before sending it.

#include "telemetry/core/Model/TLMAbstractLog.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMErrorAttachmentLog : public TLMAbstractLog {
public:
    using Data = std::vector<std::uint8_t>;

    // Of type "errorAttachment" with a new identifier (an upper-case UUID text).
    TLMErrorAttachmentLog();
    // The values as given; any may be absent.
    TLMErrorAttachmentLog(std::optional<std::string> filename, std::optional<Data> attachmentBinary,
                          std::optional<std::string> contentType);
    // The text's UTF-8 bytes as "text/plain"; no text gives no data.
    TLMErrorAttachmentLog(std::optional<std::string> filename, const std::optional<std::string>& attachmentText);
    // With the identifier it was archived with.
    explicit TLMErrorAttachmentLog(const TLMKeyedUnarchiver& coder);

    // For apps: a text attachment, and one of bytes with its content type.
    static std::shared_ptr<TLMErrorAttachmentLog> attachmentWithText(const std::optional<std::string>& text,
                                                                     std::optional<std::string> filename);
    static std::shared_ptr<TLMErrorAttachmentLog> attachmentWithBinary(std::optional<Data> data,
                                                                       std::optional<std::string> filename,
                                                                       std::optional<std::string> contentType);

    const std::optional<std::string>& attachmentId() const { return mAttachmentId; }
    void setAttachmentId(std::optional<std::string> value) { mAttachmentId = std::move(value); }
    const std::optional<std::string>& errorId() const { return mErrorId; }
    void setErrorId(std::optional<std::string> value) { mErrorId = std::move(value); }
    // A MIME type.
    const std::optional<std::string>& contentType() const { return mContentType; }
    void setContentType(std::optional<std::string> value) { mContentType = std::move(value); }
    // The name shown with the attachment (JSON key "fileName").
    const std::optional<std::string>& filename() const { return mFilename; }
    void setFilename(std::optional<std::string> value) { mFilename = std::move(value); }
    const std::optional<Data>& data() const { return mData; }
    void setData(std::optional<Data> value) { mData = std::move(value); }

    // The base's keys, then "id", "errorId", "contentType", "fileName" and
    // "data" (Base64 without line breaks), each when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // The base's checks, then error identifier, identifier, data (empty
    // data counts) and content type must be present; no size limit here.
    bool isValid() const override;
    bool isEqual(const TLMCoding& other) const override;
    // The data as raw bytes.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::optional<std::string> mAttachmentId;
    std::optional<std::string> mErrorId;
    std::optional<std::string> mContentType;
    std::optional<std::string> mFilename;
    std::optional<Data> mData;
};
