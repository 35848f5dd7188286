#pragma once
// The outcome of one HTTP attempt: where it went, when it ran, the response
// with the service's identifying headers, and the error it ended with.

#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSEnums.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class BLSRequestResult : public std::enable_shared_from_this<BLSRequestResult> {
public:
    using Date = std::chrono::system_clock::time_point;

    // The placeholder made before sending: no response, end time now.
    BLSRequestResult(Date startTime, BLSStorageLocation location);
    // An attempt that ended (with or without a response): end time now, and
    // the headers "x-bs-request-id", "Date", "Content-Length", "Content-MD5"
    // and "ETag" read from the response.
    BLSRequestResult(Date startTime, BLSStorageLocation location,
                     std::optional<platform::net::HTTPURLResponse> response, std::optional<platform::Error> error);

    BLSRequestResult(const BLSRequestResult&) = delete;
    BLSRequestResult& operator=(const BLSRequestResult&) = delete;

    bool responseAvailable() const { return mResponseAvailable; }
    BLSStorageLocation targetLocation() const { return mTargetLocation; }
    Date startTime() const { return mStartTime; }
    Date endTime() const { return mEndTime; }
    const std::optional<platform::net::HTTPURLResponse>& response() const { return mResponse; }
    const std::optional<std::string>& serviceRequestID() const { return mServiceRequestID; }
    // nullopt when the header is absent or not an HTTP date.
    const std::optional<Date>& serviceRequestDate() const { return mServiceRequestDate; }
    // 0 when the header is absent, not a number, or negative.
    std::uint64_t contentReceivedLength() const { return mContentReceivedLength; }
    const std::optional<std::string>& contentReceivedMD5() const { return mContentReceivedMD5; }
    const std::optional<std::string>& etag() const { return mEtag; }
    const std::optional<platform::Error>& error() const { return mError; }

    // Base64 MD5 of the received body, set by the executor when it computed
    // one; the only value that changes after construction.
    std::optional<std::string> calculatedResponseMD5() const;
    void setCalculatedResponseMD5(std::optional<std::string> md5);

    // The leading signed 64-bit number of the text (leading blanks and a
    // sign allowed, saturating), 0 for text without one and for negatives.
    static std::uint64_t contentLengthFromHeader(std::string_view text);

private:
    bool mResponseAvailable;
    BLSStorageLocation mTargetLocation;
    Date mStartTime;
    Date mEndTime;
    std::optional<platform::net::HTTPURLResponse> mResponse;
    std::optional<std::string> mServiceRequestID;
    std::optional<Date> mServiceRequestDate;
    std::uint64_t mContentReceivedLength = 0;
    std::optional<std::string> mContentReceivedMD5;
    std::optional<std::string> mEtag;
    std::optional<platform::Error> mError;
    mutable std::mutex mMD5Mutex;
    std::optional<std::string> mCalculatedResponseMD5;
};
