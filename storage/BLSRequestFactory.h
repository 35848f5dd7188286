#pragma once
// The bare requests of the storage protocol and the headers many operations
// share: metadata, access conditions and the lease id.

#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSResultTypes.h"

#include <optional>
#include <string>
#include <string_view>

class BLSAccessCondition;

class BLSRequestFactory {
public:
    // A request for the components' URL that ignores locally cached data,
    // with the timeout interval (seconds), the method and "x-bs-version".
    // Throw std::invalid_argument when the components make no valid URL.
    static platform::net::URLRequest putRequestWithUrlComponents(const platform::net::URLComponents& urlComponents,
                                                                 double timeout);
    static platform::net::URLRequest getRequestWithUrlComponents(const platform::net::URLComponents& urlComponents,
                                                                 double timeout);
    static platform::net::URLRequest headRequestWithUrlComponents(const platform::net::URLComponents& urlComponents,
                                                                  double timeout);
    static platform::net::URLRequest deleteRequestWithUrlComponents(const platform::net::URLComponents& urlComponents,
                                                                    double timeout);

    // Sets "x-bs-meta-<key>" to the value for every pair; nothing for
    // nullptr. Throws platform::net::InvalidHeaderError for a key that does
    // not make a header name (empty, blanks, ":", control characters) or a
    // value with control characters.
    static void addMetadataToRequest(platform::net::URLRequest& request, const BLSMetadata* metadata);

    // "If-Match", "If-None-Match", "If-Modified-Since", "If-Unmodified-Since"
    // for the fields set, then the lease id. Nothing for nullptr.
    static void applyAccessConditionToRequest(platform::net::URLRequest& request, const BLSAccessCondition* condition);
    // The same four conditions under "x-bs-source-" names, for the source of
    // a copy; no lease id.
    static void applySourceAccessConditionToRequest(platform::net::URLRequest& request,
                                                    const BLSAccessCondition* condition);
    // "x-bs-lease-id" when the condition holds one.
    static void applyLeaseIdToRequest(platform::net::URLRequest& request, const BLSAccessCondition* condition);

    // `stringToAppend` alone when there is no query (nullopt or empty), else
    // query + "&" + stringToAppend. Both are taken as percent-encoded text.
    static std::string appendToQuery(const std::optional<std::string>& query, std::string_view stringToAppend);
};
