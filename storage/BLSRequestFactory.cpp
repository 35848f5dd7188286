#include "storage/BLSRequestFactory.h"

#include "storage/BLSAccessCondition.h"
#include "storage/BLSUtil.h"

#include <stdexcept>
#include <utility>

namespace {

constexpr const char* kVersionHeader = "x-bs-version";
constexpr const char* kVersion = "2016-03-14";
constexpr const char* kMetadataPrefix = "x-bs-meta-";

platform::net::URLRequest makeRequest(const platform::net::URLComponents& urlComponents, double timeout,
                                      const char* method) {
    std::optional<platform::net::URL> url = urlComponents.url();
    if (!url) {
        throw std::invalid_argument("The request's address is not a valid URL.");
    }
    platform::net::URLRequest request(std::move(*url));
    request.cachePolicy = platform::net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    request.timeoutInterval = timeout;
    request.httpMethod = method;
    request.setValue(kVersion, kVersionHeader);
    return request;
}

void applyConditions(platform::net::URLRequest& request, const BLSAccessCondition& condition, const char* ifMatch,
                     const char* ifNoneMatch, const char* ifModifiedSince, const char* ifUnmodifiedSince) {
    BLSUtil::addOptionalHeaderToRequest(request, ifMatch, condition.ifMatchETag());
    BLSUtil::addOptionalHeaderToRequest(request, ifNoneMatch, condition.ifNoneMatchETag());
    BLSUtil::addOptionalHeaderToRequest(request, ifModifiedSince,
                                        BLSUtil::convertDateToHttpString(condition.ifModifiedSinceDate()));
    BLSUtil::addOptionalHeaderToRequest(request, ifUnmodifiedSince,
                                        BLSUtil::convertDateToHttpString(condition.ifNotModifiedSinceDate()));
}

}  // namespace

platform::net::URLRequest BLSRequestFactory::putRequestWithUrlComponents(
    const platform::net::URLComponents& urlComponents, double timeout) {
    return makeRequest(urlComponents, timeout, "PUT");
}

platform::net::URLRequest BLSRequestFactory::getRequestWithUrlComponents(
    const platform::net::URLComponents& urlComponents, double timeout) {
    return makeRequest(urlComponents, timeout, "GET");
}

platform::net::URLRequest BLSRequestFactory::headRequestWithUrlComponents(
    const platform::net::URLComponents& urlComponents, double timeout) {
    return makeRequest(urlComponents, timeout, "HEAD");
}

platform::net::URLRequest BLSRequestFactory::deleteRequestWithUrlComponents(
    const platform::net::URLComponents& urlComponents, double timeout) {
    return makeRequest(urlComponents, timeout, "DELETE");
}

void BLSRequestFactory::addMetadataToRequest(platform::net::URLRequest& request, const BLSMetadata* metadata) {
    if (metadata == nullptr) {
        return;
    }
    for (const auto& [key, value] : *metadata) {
        // "x-bs-meta-" alone would name no metadata at all; every other bad
        // key is refused by the header check itself.
        if (key.empty()) {
            throw platform::net::InvalidHeaderError("A metadata name may not be empty.");
        }
        request.setValue(value, std::string(kMetadataPrefix) + key);
    }
}

void BLSRequestFactory::applyAccessConditionToRequest(platform::net::URLRequest& request,
                                                      const BLSAccessCondition* condition) {
    if (condition == nullptr) {
        return;
    }
    applyConditions(request, *condition, "If-Match", "If-None-Match", "If-Modified-Since", "If-Unmodified-Since");
    applyLeaseIdToRequest(request, condition);
}

void BLSRequestFactory::applySourceAccessConditionToRequest(platform::net::URLRequest& request,
                                                            const BLSAccessCondition* condition) {
    if (condition == nullptr) {
        return;
    }
    applyConditions(request, *condition, "x-bs-source-if-match", "x-bs-source-if-none-match",
                    "x-bs-source-if-modified-since", "x-bs-source-if-unmodified-since");
}

void BLSRequestFactory::applyLeaseIdToRequest(platform::net::URLRequest& request, const BLSAccessCondition* condition) {
    if (condition == nullptr) {
        return;
    }
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-lease-id", condition->leaseId());
}

std::string BLSRequestFactory::appendToQuery(const std::optional<std::string>& query, std::string_view stringToAppend) {
    // An empty query counts as none: "?&comp=list" would carry a nameless
    // parameter into the signed resource.
    if (!query || query->empty()) {
        return std::string(stringToAppend);
    }
    std::string result = *query;
    result += '&';
    result += stringToAppend;
    return result;
}
