#pragma once
// Addresses of a storage resource at its primary and secondary location,
// and the query parameters written into such addresses.

#include "platform/net/URL.h"
#include "storage/BLSEnums.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

class BLSStorageUri {
public:
    using URL = platform::net::URL;

    BLSStorageUri() = default;
    explicit BLSStorageUri(std::optional<URL> primaryUri, std::optional<URL> secondaryUri = std::nullopt)
        : mPrimaryUri(std::move(primaryUri)), mSecondaryUri(std::move(secondaryUri)) {}

    const std::optional<URL>& primaryUri() const { return mPrimaryUri; }
    const std::optional<URL>& secondaryUri() const { return mSecondaryUri; }
    void setPrimaryUri(std::optional<URL> url) { mPrimaryUri = std::move(url); }
    void setSecondaryUri(std::optional<URL> url) { mSecondaryUri = std::move(url); }

    // The URL of the location (nullopt when that location has none); any
    // location other than primary or secondary throws std::logic_error
    // ("Not implemented").
    const std::optional<URL>& urlWithLocation(BLSStorageLocation location) const;

    // The URL with "/" and `pathToAppend` added to its path (escaped as a
    // path needs); query and other parts stay. nullopt for nullopt.
    static std::optional<URL> appendToUrl(const std::optional<URL>& url, std::string_view pathToAppend);
    static BLSStorageUri appendToStorageUri(const BLSStorageUri& uri, std::string_view pathToAppend);

    bool operator==(const BLSStorageUri&) const = default;

private:
    std::optional<URL> mPrimaryUri;
    std::optional<URL> mSecondaryUri;
};

// Query parameters, one value per key.
class BLSUriQueryBuilder {
public:
    BLSUriQueryBuilder() = default;
    // Every pair of the query text (see BLSUtil::parseQueryWithQueryString).
    explicit BLSUriQueryBuilder(const std::optional<std::string>& query);

    const std::map<std::string, std::string>& parameters() const { return mParameters; }
    std::map<std::string, std::string>& parameters() { return mParameters; }

    // Sets the key; nothing for nullopt.
    void addWithKey(const std::string& key, const std::optional<std::string>& value);
    void addIfNotNilOrEmptyWithKey(const std::string& key, const std::optional<std::string>& value);

    // "" when empty, else "?k=v&k2=v2" with keys and values URL-encoded.
    std::string builderAsString() const;
    // The URL with the pairs added to its query; nullopt for nullopt.
    std::optional<platform::net::URL> addToUri(const std::optional<platform::net::URL>& url) const;

private:
    std::map<std::string, std::string> mParameters;
};
