#include "storage/BLSNavigationUtil.h"

#include "platform/foundation/AsciiText.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

#include <algorithm>
#include <vector>

namespace {

// The segments of a percent-encoded path, empty ones included ("/a//b" gives
// "", "a", "", "b" after the leading empty one is dropped).
std::vector<std::string_view> encodedSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    if (path.starts_with('/')) path.remove_prefix(1);
    if (path.empty()) return segments;
    while (true) {
        auto slash = path.find('/');
        segments.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return segments;
}

bool isSignedCredentials(const std::shared_ptr<BLSStorageCredentials>& credentials) {
    return credentials != nullptr && (credentials->isSAS() || credentials->isSharedKey());
}

// Code 1 without user info; the reason goes to the log only.
platform::Error loggedArgumentError(const char* reason) {
    BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelError, std::string(reason));
    return BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
}

}  // namespace

std::optional<BLSNavigationUtil::ParsedUri> BLSNavigationUtil::parseBlobQueryAndVerifyWithUri(
    const std::optional<URL>& uri) {
    if (!uri) return std::nullopt;
    auto parameters = BLSUtil::parseQueryWithQueryString(uri->query());

    ParsedUri parsed;
    if (auto snapshot = parameters.find("snapshot"); snapshot != parameters.end()) parsed.snapshot = snapshot->second;
    parsed.credentials = parseSASQueryWithQueryParameters(parameters);
    if (!parsed.credentials) parsed.credentials = std::make_shared<BLSStorageCredentials>();

    platform::net::URLComponents components(*uri);
    components.user.clear();
    components.password.clear();
    components.setPercentEncodedQuery(std::nullopt);
    components.setPercentEncodedFragment(std::nullopt);
    parsed.address = components.url();
    return parsed;
}

std::optional<BLSNavigationUtil::ParsedStorageUri> BLSNavigationUtil::parseBlobQueryAndVerifyWithStorageUri(
    const std::optional<BLSStorageUri>& uri) {
    if (!uri) return std::nullopt;
    auto primary = parseBlobQueryAndVerifyWithUri(uri->primaryUri());
    if (!primary) return std::nullopt;
    auto secondary = parseBlobQueryAndVerifyWithUri(uri->secondaryUri());

    ParsedStorageUri parsed;
    parsed.address = BLSStorageUri(primary->address, secondary ? secondary->address : std::nullopt);
    parsed.credentials = std::move(primary->credentials);
    parsed.snapshot = std::move(primary->snapshot);
    return parsed;
}

std::shared_ptr<BLSStorageCredentials> BLSNavigationUtil::parseSASQueryWithQueryParameters(
    std::map<std::string, std::string>& queryParameters) {
    bool hasSignature = false;
    std::vector<std::string> removed;
    for (const auto& [key, value] : queryParameters) {
        std::string lower = platform::ascii::lowercased(key);
        if (lower == "sig") hasSignature = true;
        if (lower == "restype" || lower == "comp" || lower == "snapshot" || lower == "api-version") {
            removed.push_back(key);
        }
    }
    for (const auto& key : removed) queryParameters.erase(key);
    if (!hasSignature) return nullptr;

    BLSUriQueryBuilder builder;
    for (const auto& [key, value] : queryParameters) builder.addWithKey(platform::ascii::lowercased(key), value);
    return BLSStorageCredentials::makeWithSASToken(builder.builderAsString());
}

std::optional<std::string> BLSNavigationUtil::getContainerNameWithContainerAddress(const URL& uri, bool isPathStyle) {
    if (isPathStyle) {
        auto components = uri.pathComponents();
        if (components.size() < 3) return std::nullopt;
        return components[2];
    }
    std::string path = uri.path();
    if (path.size() < 2) return std::nullopt;
    return path.substr(1);
}

std::optional<std::string> BLSNavigationUtil::getBlobNameWithBlobAddress(const URL& uri, bool isPathStyle) {
    // Segments before the blob: the container, and the account before it
    // with path-style addressing.
    std::string_view path = uri.percentEncodedPath();
    if (path.starts_with('/')) path.remove_prefix(1);
    for (int skip = isPathStyle ? 2 : 1; skip > 0; --skip) {
        auto slash = path.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        path.remove_prefix(slash + 1);
    }
    if (path.empty()) return std::nullopt;
    auto decoded = platform::net::percentDecode(path);
    if (!decoded) return std::string(path);
    return decoded;
}

std::optional<platform::net::URL> BLSNavigationUtil::getServiceClientBaseAddressWithUri(
    const std::optional<URL>& uri, bool usePathStyle, std::optional<platform::Error>& error) {
    if (!uri || error) return std::nullopt;
    platform::net::URLComponents components(*uri);
    components.user.clear();
    components.password.clear();
    components.setPercentEncodedQuery(std::nullopt);
    components.setPercentEncodedFragment(std::nullopt);
    components.setPercentEncodedPath("");
    if (usePathStyle) {
        auto segments = encodedSegments(uri->percentEncodedPath());
        if (segments.empty() || segments.front().empty()) {
            const char* reason = "URI is missing account information.";
            BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelError, reason);
            error = BLSMakeInvalidArgumentError(reason);
            return std::nullopt;
        }
        components.setPercentEncodedPath("/" + std::string(segments.front()));
    }
    return components.url();
}

std::optional<BLSStorageUri> BLSNavigationUtil::getServiceClientBaseAddressWithStorageUri(
    const std::optional<BLSStorageUri>& uri, bool usePathStyle, std::optional<platform::Error>& error) {
    if (!uri || error) return std::nullopt;
    auto primary = getServiceClientBaseAddressWithUri(uri->primaryUri(), usePathStyle, error);
    if (error) return std::nullopt;
    auto secondary = getServiceClientBaseAddressWithUri(uri->secondaryUri(), usePathStyle, error);
    if (error) return std::nullopt;
    return BLSStorageUri(primary, secondary);
}

std::optional<BLSNavigationUtil::ResolvedAddress> BLSNavigationUtil::resolveAddressWithStorageUri(
    const BLSStorageUri& storageUri, AddressedResource resource, std::shared_ptr<BLSStorageCredentials> credentials,
    std::optional<std::string> snapshotTime, std::optional<platform::Error>& error) {
    const bool isContainer = resource == AddressedResource::Container;
    auto parsed = parseBlobQueryAndVerifyWithStorageUri(storageUri);
    if (!parsed || !parsed->address || !parsed->address->primaryUri()) {
        error = BLSMakeInvalidArgumentError(isContainer ? "A container address needs a primary URI."
                                                        : "A blob address needs a primary URI.");
        return std::nullopt;
    }
    const bool givenSigned = isSignedCredentials(credentials);
    const bool addressSigned = isSignedCredentials(parsed->credentials);
    if (givenSigned && addressSigned) {
        error = loggedArgumentError("Multiple credentials provided.");
        return std::nullopt;
    }
    if (snapshotTime && parsed->snapshot) {
        error = loggedArgumentError("Multiple snapshot times provided.");
        return std::nullopt;
    }
    // Anonymous credentials given with a signed address must not silently
    // drop the address's signature.
    if (!credentials || (!givenSigned && addressSigned)) credentials = parsed->credentials;

    const BLSStorageUri& address = *parsed->address;
    const URL& primary = *address.primaryUri();
    const bool pathStyle = BLSUtil::usePathStyleAddressing(primary);

    // An object must name its resource: an address that ends above it would
    // send the object's operations (a delete above all) to its parent.
    auto name = isContainer ? getContainerNameWithContainerAddress(primary, pathStyle)
                            : getBlobNameWithBlobAddress(primary, pathStyle);
    if (!name || name->empty()) {
        error = BLSMakeInvalidArgumentError(isContainer ? "The container address names no container."
                                                        : "The blob address names no blob.");
        return std::nullopt;
    }

    std::optional<platform::Error> baseError;
    auto base = getServiceClientBaseAddressWithStorageUri(address, pathStyle, baseError);
    if (baseError) {
        error = std::move(baseError);
        return std::nullopt;
    }
    if (!base) {
        error = BLSMakeInvalidArgumentError("URI is missing account information.");
        return std::nullopt;
    }
    return ResolvedAddress{address, std::move(*name), std::move(credentials),
                           snapshotTime ? std::move(snapshotTime) : parsed->snapshot, std::move(*base)};
}
