// Storage connection strings from untrusted bytes: what reads as an account
// keeps its text, has endpoints on the host its settings name, writes a
// connection string from its settings that reads back as the same account,
// and gives the blob client and the references the sharing client takes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudStorageAccount.h"

using fuzzsupport::Require;

namespace {

bool SameCredentials(const std::shared_ptr<BLSStorageCredentials>& a, const std::shared_ptr<BLSStorageCredentials>& b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a->accountName() == b->accountName() && a->accountKey() == b->accountKey() && a->sasToken() == b->sasToken();
}

// Host and port as a URL names them; "host:" names no port.
std::string HostAndPort(const platform::net::URL& url) {
    return url.host() + (url.port() ? ":" + std::to_string(*url.port()) : "");
}

// The derived endpoints are "<scheme>://<account>[-secondary].blob.<suffix>"
// and nothing else: neither the account name nor the suffix (which may end
// in a port) may move them to another host.
void CheckDerivedEndpoints(const BLSCloudStorageAccount& account) {
    const std::string name = account.storageCredentials()->accountName().value_or("");
    std::string suffix = account.endpointSuffix().value_or(BLSDefaultEndpointSuffix);
    if (suffix.ends_with(':')) suffix.pop_back();
    const auto& primary = account.blob_endpoint().primaryUri();
    const auto& secondary = account.blob_endpoint().secondaryUri();
    Require(primary.has_value() && secondary.has_value(), "derived endpoints are both there");
    Require(HostAndPort(*primary) == name + ".blob." + suffix, "the primary endpoint is the account's host");
    Require(HostAndPort(*secondary) == name + "-secondary.blob." + suffix,
            "the secondary endpoint is the account's host");
    Require(primary->scheme() == (account.useHttps() ? "https" : "http"), "the scheme follows the protocol");
}

// The account made again from its settings alone, so that it writes its
// connection string rather than keeping the text it was read from.
std::shared_ptr<BLSCloudStorageAccount> Remade(const BLSCloudStorageAccount& account) {
    std::optional<platform::Error> error;
    if (account.explicitEndpoints()) {
        return BLSCloudStorageAccount::makeWithCredentials(account.storageCredentials(), account.blob_endpoint(),
                                                           std::nullopt, std::nullopt, std::nullopt, error);
    }
    return BLSCloudStorageAccount::makeWithCredentials(account.storageCredentials(), account.useHttps(),
                                                       account.endpointSuffix().value_or(BLSDefaultEndpointSuffix),
                                                       error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzsupport::Text(data, size);
    std::optional<platform::Error> error;
    const auto account = BLSCloudStorageAccount::accountFromConnectionString(text, error);
    if (account == nullptr) {
        Require(error.has_value(), "a refused connection string says why");
        return 0;
    }
    Require(account->connectionString() == text, "an account keeps the text it was read from");
    Require(account->blob_endpoint().primaryUri().has_value(), "an account has a blob endpoint");
    if (!account->explicitEndpoints()) CheckDerivedEndpoints(*account);
    const auto client = account->getBlobClient();
    const auto container = client->containerReferenceFromName("layouts");
    if (container != nullptr) (void)container->blockBlobReferenceFromName("layout.wkst");

    // A key that is not base64 leaves credentials with a name and nothing
    // to sign with; such an account writes no credentials back.
    const auto& credentials = account->storageCredentials();
    if (credentials != nullptr && !credentials->isSharedKey() && !credentials->isSAS()) return 0;

    const auto remade = Remade(*account);
    Require(remade != nullptr, "an account can be made again from its settings");
    std::optional<platform::Error> readError;
    const auto readBack = BLSCloudStorageAccount::accountFromConnectionString(remade->connectionString(), readError);
    Require(readBack != nullptr, "a written connection string reads");
    Require(readBack->blob_endpoint() == account->blob_endpoint(), "it reads back with the same endpoints");
    Require(readBack->explicitEndpoints() == account->explicitEndpoints(), "and the same kind of endpoints");
    Require(SameCredentials(readBack->storageCredentials(), account->storageCredentials()), "and the same credentials");
    return 0;
}
