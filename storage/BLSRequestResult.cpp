#include "storage/BLSRequestResult.h"

#include "platform/dispatch/Clock.h"
#include "storage/BLSUtil.h"

#include <limits>

BLSRequestResult::BLSRequestResult(Date startTime, BLSStorageLocation location)
    : mResponseAvailable(false),
      mTargetLocation(location),
      mStartTime(startTime),
      mEndTime(platform::Clock::shared()->now()) {}

BLSRequestResult::BLSRequestResult(Date startTime, BLSStorageLocation location,
                                   std::optional<platform::net::HTTPURLResponse> response,
                                   std::optional<platform::Error> error)
    : mResponseAvailable(true),
      mTargetLocation(location),
      mStartTime(startTime),
      mEndTime(platform::Clock::shared()->now()),
      mResponse(std::move(response)),
      mError(std::move(error)) {
    if (!mResponse) {
        return;
    }
    auto header = [this](std::string_view name) -> std::optional<std::string> {
        if (const std::string* value = mResponse->valueForHTTPHeaderField(name)) {
            return *value;
        }
        return std::nullopt;
    };
    mServiceRequestID = header("x-bs-request-id");
    if (auto date = header("Date")) {
        mServiceRequestDate = BLSUtil::dateFromHttpString(*date);
    }
    if (auto length = header("Content-Length")) {
        mContentReceivedLength = contentLengthFromHeader(*length);
    }
    mContentReceivedMD5 = header("Content-MD5");
    mEtag = header("ETag");
}

std::optional<std::string> BLSRequestResult::calculatedResponseMD5() const {
    std::lock_guard lock(mMD5Mutex);
    return mCalculatedResponseMD5;
}

void BLSRequestResult::setCalculatedResponseMD5(std::optional<std::string> md5) {
    std::lock_guard lock(mMD5Mutex);
    mCalculatedResponseMD5 = std::move(md5);
}

std::uint64_t BLSRequestResult::contentLengthFromHeader(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    // A negative length is no length: storing it unsigned would announce
    // an absurdly large body.
    return negative ? 0 : value;
}
