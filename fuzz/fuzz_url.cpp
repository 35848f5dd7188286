// URLs and query strings from untrusted bytes (service replies and signed
// addresses carry them): what parses keeps its text, takes apart into
// components that write back the same parts, splits its path and query
// without loss, and survives the storage client's address handling.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/net/URL.h"
#include "storage/BLSNavigationUtil.h"
#include "storage/BLSStorageUri.h"
#include "storage/BLSUtil.h"

using fuzzsupport::Require;
using platform::net::URL;
using platform::net::URLComponents;

namespace {

bool SameParts(const URL& a, const URL& b) {
    return a.scheme() == b.scheme() && a.user() == b.user() && a.password() == b.password() && a.host() == b.host() &&
           a.port() == b.port() && a.percentEncodedPath() == b.percentEncodedPath() && a.query() == b.query() &&
           a.fragment() == b.fragment();
}

void CheckComponents(const URL& url) {
    const URLComponents components(url);
    const auto written = components.url();
    // A decoded host holding ":" or "[" reads as an IPv6 literal when
    // written again; components refuse what they cannot write.
    if (url.host().find_first_of(":[") == std::string::npos) {
        Require(written.has_value(), "components of a URL write a URL");
    }
    if (written) Require(SameParts(*written, url), "components write back the same parts");

    URLComponents repathed(url);
    repathed.setPath(url.path());
    Require(repathed.path() == url.path(), "a decoded path set is the path read");
}

void CheckQuery(const URL& url) {
    const auto pairs = BLSUtil::parseQueryWithQueryString(url.query());
    const BLSUriQueryBuilder builder(url.query());
    Require(builder.parameters() == pairs, "a builder holds the pairs of its query");
    const auto bare = URL::parse("https://account.blob.core.vekmont-storage.net/c");
    const auto withQuery = builder.addToUri(bare);
    Require(withQuery.has_value(), "a builder's pairs make a URL");
    Require(fuzzsupport::SameQueryPairs(BLSUtil::parseQueryWithQueryString(withQuery->query()), pairs),
            "the pairs read back the same");
}

void CheckStorageAddress(const URL& url) {
    const auto appended = BLSStorageUri::appendToUrl(url, "layouts/a b");
    if (appended) {
        Require(appended->percentEncodedPath() == url.percentEncodedPath() + "/layouts/a%20b",
                "an appended path is escaped after the old one");
    }
    const bool pathStyle = BLSUtil::usePathStyleAddressing(url);
    (void)BLSNavigationUtil::getContainerNameWithContainerAddress(url, pathStyle);
    (void)BLSNavigationUtil::getBlobNameWithBlobAddress(url, pathStyle);
    std::optional<platform::Error> error;
    (void)BLSNavigationUtil::getServiceClientBaseAddressWithUri(url, pathStyle, error);
    std::optional<platform::Error> resolveError;
    (void)BLSNavigationUtil::resolveAddressWithStorageUri(
        BLSStorageUri(url), BLSNavigationUtil::AddressedResource::Blob, nullptr, std::nullopt, resolveError);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzsupport::Text(data, size);
    (void)platform::net::percentDecode(text);
    const auto url = URL::parse(text);
    if (!url) return 0;
    Require(url->absoluteString() == text, "a URL keeps its text");
    Require(!url->port() || (*url->port() >= 0 && *url->port() <= 65535), "a port is a port");
    for (const std::string& component : url->pathComponents()) Require(!component.empty(), "no empty segment");
    CheckComponents(*url);
    CheckQuery(*url);
    CheckStorageAddress(*url);
    return 0;
}
