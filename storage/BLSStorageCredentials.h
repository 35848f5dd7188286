#pragma once
// Shared-key or shared-access-signature credentials, and the handlers that
// authorise requests with them.

#include "platform/foundation/Error.h"
#include "storage/BLSStorageUri.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::net {
struct URLRequest;
}
class BLSOperationContext;

class BLSStorageCredentials {
public:
    // Anonymous: neither shared key nor SAS.
    BLSStorageCredentials() = default;
    // `accountKey` is base64 text; text that is not valid base64 gives no key.
    BLSStorageCredentials(std::string accountName, const std::string& accountKey);
    static std::shared_ptr<BLSStorageCredentials> makeWithSASToken(
        std::string sasToken, std::optional<std::string> accountName = std::nullopt);

    const std::optional<std::string>& accountName() const { return mAccountName; }
    const std::optional<std::vector<std::uint8_t>>& accountKey() const { return mAccountKey; }
    const std::optional<std::string>& sasToken() const { return mSasToken; }
    const std::optional<BLSUriQueryBuilder>& queryBuilder() const { return mQueryBuilder; }
    void setQueryBuilder(std::optional<BLSUriQueryBuilder> builder) { mQueryBuilder = std::move(builder); }

    bool isSharedKey() const { return mAccountKey.has_value(); }
    bool isSAS() const { return mSasToken.has_value(); }

    // Rebuilds the query builder from the token plus "api-version".
    void updateQueryBuilder();

    // SAS credentials add their query; any others return the URL unchanged.
    std::optional<platform::net::URL> transformWithUri(const std::optional<platform::net::URL>& url) const;
    std::optional<BLSStorageUri> transformWithStorageUri(const std::optional<BLSStorageUri>& uri) const;

private:
    std::optional<std::string> mAccountName;
    std::optional<std::vector<std::uint8_t>> mAccountKey;
    std::optional<std::string> mSasToken;
    std::optional<BLSUriQueryBuilder> mQueryBuilder;
};

// Signs a request just before it is sent. An error means the request cannot
// be authorised and must not be sent.
class BLSAuthenticationHandler {
public:
    virtual ~BLSAuthenticationHandler() = default;
    virtual std::optional<platform::Error> signRequest(platform::net::URLRequest& request,
                                                       BLSOperationContext& operationContext) = 0;
};

class BLSSharedKeyBlobAuthenticationHandler : public BLSAuthenticationHandler {
public:
    explicit BLSSharedKeyBlobAuthenticationHandler(std::shared_ptr<const BLSStorageCredentials> storageCredentials);
    const std::shared_ptr<const BLSStorageCredentials>& storageCredentials() const { return mStorageCredentials; }

    // The canonical text that is signed; nullopt (and `error` set) when the
    // request cannot be canonicalised.
    std::optional<std::string> getStringToSignWithRequest(const platform::net::URLRequest& request,
                                                          BLSOperationContext& operationContext,
                                                          std::optional<platform::Error>& error) const;
    // Sets "x-bs-date" to Clock::shared()'s date and "Authorization" to the
    // signature. On an error the request carries no "Authorization".
    std::optional<platform::Error> signRequest(platform::net::URLRequest& request,
                                               BLSOperationContext& operationContext) override;
    // The same at the given time (whole seconds are used).
    std::optional<platform::Error> signRequest(platform::net::URLRequest& request,
                                               BLSOperationContext& operationContext,
                                               std::chrono::system_clock::time_point now);

private:
    std::shared_ptr<const BLSStorageCredentials> mStorageCredentials;
};

class BLSNoOpAuthenticationHandler : public BLSAuthenticationHandler {
public:
    std::optional<platform::Error> signRequest(platform::net::URLRequest&, BLSOperationContext&) override {
        return std::nullopt;
    }
};
