// Shared access signature tokens from untrusted bytes, as a connection
// string or a signed address brings them: the credentials keep every pair of
// the token, and the addresses they sign carry exactly those pairs and
// nothing more, whatever the token's keys and values hold. The token is
// also read as the query of a blob address, and its permission letters as
// the service writes them.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/net/URL.h"
#include "storage/BLSNavigationUtil.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

using fuzzsupport::Require;
using platform::net::URL;

namespace {

const URL& BlobAddress() {
    static const URL address = *URL::parse("https://account.blob.core.vekmont-storage.net/layouts/a%20b.wkst");
    return address;
}

// The address signed by the credentials carries their pairs and only them.
void CheckSigned(const BLSStorageCredentials& credentials) {
    Require(credentials.isSAS() && credentials.queryBuilder().has_value(), "token credentials are SAS credentials");
    const auto& pairs = credentials.queryBuilder()->parameters();
    const auto signedAddress = credentials.transformWithUri(BlobAddress());
    Require(signedAddress.has_value(), "a signed address is an address");
    Require(signedAddress->percentEncodedPath() == BlobAddress().percentEncodedPath(), "signing keeps the path");
    Require(fuzzsupport::SameQueryPairs(BLSUtil::parseQueryWithQueryString(signedAddress->query()), pairs),
            "a signed address carries exactly the token's pairs");
}

void CheckPermissions(const std::map<std::string, std::string>& pairs) {
    const auto letters = pairs.find("sp");
    if (letters == pairs.end()) return;
    std::optional<platform::Error> error;
    const auto permissions = BLSSharedAccessSignatureHelper::permissionsFromString(letters->second, error);
    if (error) return;
    std::optional<platform::Error> writeError;
    const auto written = BLSSharedAccessSignatureHelper::stringFromPermissions(permissions, writeError);
    Require(written.has_value() && !writeError, "permissions that read can be written");
    std::optional<platform::Error> readError;
    Require(BLSSharedAccessSignatureHelper::permissionsFromString(*written, readError) == permissions && !readError,
            "written permissions read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string token = fuzzsupport::Text(data, size);
    const auto credentials = BLSStorageCredentials::makeWithSASToken(token);
    CheckSigned(*credentials);
    CheckPermissions(credentials->queryBuilder()->parameters());

    // The token as the query of a signed blob address.
    const std::string query = token.starts_with('?') ? token.substr(1) : token;
    const auto address = URL::parse(BlobAddress().absoluteString() + "?" + query);
    if (!address) return 0;
    const auto parsed = BLSNavigationUtil::parseBlobQueryAndVerifyWithUri(address);
    Require(parsed.has_value() && parsed->credentials != nullptr, "a blob address gives credentials");
    Require(parsed->address.has_value() && !parsed->address->query().has_value(),
            "the address keeps no query of its own");
    if (parsed->credentials->isSAS()) CheckSigned(*parsed->credentials);
    return 0;
}
