#include "storage/BLSStorageUri.h"

#include "storage/BLSUtil.h"

#include <stdexcept>

const std::optional<BLSStorageUri::URL>& BLSStorageUri::urlWithLocation(BLSStorageLocation location) const {
    switch (location) {
        case BLSStorageLocationPrimary: return mPrimaryUri;
        case BLSStorageLocationSecondary: return mSecondaryUri;
    }
    throw std::logic_error("Not implemented");
}

std::optional<BLSStorageUri::URL> BLSStorageUri::appendToUrl(const std::optional<URL>& url,
                                                             std::string_view pathToAppend) {
    if (!url) return std::nullopt;
    platform::net::URLComponents components(*url);
    // The old path is kept as it is written, so escapes in it (an encoded
    // "/" above all) survive; only the new text is escaped.
    platform::net::URLComponents escaper;
    escaper.setPath(pathToAppend);
    components.setPercentEncodedPath(url->percentEncodedPath() + "/" + escaper.percentEncodedPath());
    return components.url();
}

BLSStorageUri BLSStorageUri::appendToStorageUri(const BLSStorageUri& uri, std::string_view pathToAppend) {
    return BLSStorageUri(appendToUrl(uri.primaryUri(), pathToAppend), appendToUrl(uri.secondaryUri(), pathToAppend));
}

BLSUriQueryBuilder::BLSUriQueryBuilder(const std::optional<std::string>& query) {
    for (auto& [key, value] : BLSUtil::parseQueryWithQueryString(query)) addWithKey(key, value);
}

void BLSUriQueryBuilder::addWithKey(const std::string& key, const std::optional<std::string>& value) {
    if (!value) return;
    mParameters[key] = *value;
}

void BLSUriQueryBuilder::addIfNotNilOrEmptyWithKey(const std::string& key, const std::optional<std::string>& value) {
    if (!value || value->empty()) return;
    mParameters[key] = *value;
}

std::string BLSUriQueryBuilder::builderAsString() const {
    std::string text;
    for (const auto& [key, value] : mParameters) {
        text += text.empty() ? "?" : "&";
        // Keys are encoded too: a decoded key from a token or an address may
        // hold "&", "=" or blanks, which would add a parameter of their own
        // or leave no URL at all. The client's own keys need no escapes.
        text += BLSUtil::URLEncodedStringWithString(key);
        text += "=";
        text += BLSUtil::URLEncodedStringWithString(value);
    }
    return text;
}

std::optional<platform::net::URL> BLSUriQueryBuilder::addToUri(const std::optional<platform::net::URL>& url) const {
    if (!url) return std::nullopt;
    // Nothing to add: a bare "?" or a trailing "&" would only change the
    // address (and its signature) without meaning anything.
    if (mParameters.empty()) return url;

    std::string added = builderAsString().substr(1);
    const auto& oldQuery = url->query();
    std::string query = oldQuery && !oldQuery->empty() ? *oldQuery + "&" + added : added;

    // The query goes before any fragment.
    std::string text = url->absoluteString();
    std::string fragment;
    if (auto hash = text.find('#'); hash != std::string::npos) {
        fragment = text.substr(hash);
        text.erase(hash);
    }
    if (auto question = text.find('?'); question != std::string::npos) {
        text.erase(question + 1);
    } else {
        text += "?";
    }
    return platform::net::URL::parse(text + query + fragment);
}
