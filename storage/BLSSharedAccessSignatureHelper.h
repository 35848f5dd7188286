#pragma once
// Shared access signatures: the SAS query, the texts that are signed, and the
// letter codes of permissions, services, resource types and protocols.

#include "platform/foundation/Error.h"
#include "storage/BLSEnums.h"
#include "storage/BLSStorageUri.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class BLSStorageCredentials;
class BLSCloudBlobClient;

// An address ("168.1.5.60") or an inclusive range of addresses from which a
// SAS may be used. The texts are not checked here; the service judges them.
struct BLSSharedAccessIPRange {
    std::string ipMinimum;
    std::optional<std::string> ipMaximum;  // nullopt for a single address

    static BLSSharedAccessIPRange singleAddress(std::string address) { return {std::move(address), std::nullopt}; }
    static BLSSharedAccessIPRange range(std::string minimum, std::string maximum) {
        return {std::move(minimum), std::move(maximum)};
    }
    // "168.1.5.60" or "168.1.5.60-168.1.5.70".
    std::string rangeString() const { return ipMaximum ? ipMinimum + "-" + *ipMaximum : ipMinimum; }
};

// Response headers a blob SAS makes the service send.
struct BLSSharedAccessHeaders {
    std::optional<std::string> cacheControl;
    std::optional<std::string> contentDisposition;
    std::optional<std::string> contentEncoding;
    std::optional<std::string> contentLanguage;
    std::optional<std::string> contentType;
};

struct BLSSharedAccessAccountParameters {
    BLSSharedAccessPermissions permissions = 0;
    BLSSharedAccessServices services = 0;
    BLSSharedAccessResourceTypes resourceTypes = 0;
    std::optional<std::chrono::system_clock::time_point> sharedAccessStartTime;
    std::optional<std::chrono::system_clock::time_point> sharedAccessExpiryTime;
    std::optional<BLSSharedAccessIPRange> ipAddressOrRange;
    BLSSharedAccessProtocols protocols = 0;
};

struct BLSSharedAccessBlobParameters {
    BLSSharedAccessPermissions permissions = 0;
    std::optional<std::chrono::system_clock::time_point> sharedAccessStartTime;
    std::optional<std::chrono::system_clock::time_point> sharedAccessExpiryTime;
    BLSSharedAccessHeaders headers;
    std::optional<std::string> storedPolicyIdentifier;
    std::optional<BLSSharedAccessIPRange> ipAddressOrRange;
    BLSSharedAccessProtocols protocols = 0;
};

// Every method with an error out-parameter expects an empty holder; failures
// are error code 1, logged at error level on the operationless context.
class BLSSharedAccessSignatureHelper {
public:
    using Date = std::chrono::system_clock::time_point;

    // The SAS query: each parameter only when set and not empty, "sv"
    // always; nullopt without a signature or when a letter conversion fails.
    static std::optional<BLSUriQueryBuilder> sharedAccessSignatureWithPermissions(
        BLSSharedAccessPermissions permissions, BLSSharedAccessServices services,
        BLSSharedAccessResourceTypes resourceTypes, const std::optional<Date>& sharedAccessStartTime,
        const std::optional<Date>& sharedAccessExpiryTime, const std::optional<std::string>& startPartitionKey,
        const std::optional<std::string>& startRowKey, const std::optional<std::string>& endPartitionKey,
        const std::optional<std::string>& endRowKey, const std::optional<BLSSharedAccessHeaders>& headers,
        const std::optional<std::string>& storedPolicyIdentifier, const std::optional<std::string>& resourceType,
        const std::optional<BLSSharedAccessIPRange>& ipAddressOrRange, BLSSharedAccessProtocols protocols,
        const std::optional<std::string>& tableName, const std::optional<std::string>& signature,
        std::optional<platform::Error>& error);

    static std::optional<BLSUriQueryBuilder> sharedAccessSignatureForAccountWithParameters(
        const BLSSharedAccessAccountParameters& parameters, const std::optional<std::string>& signature,
        std::optional<platform::Error>& error);
    // `resourceType` is "c" for a container, "b" for a blob.
    static std::optional<BLSUriQueryBuilder> sharedAccessSignatureForBlobWithParameters(
        const BLSSharedAccessBlobParameters& parameters, const std::optional<std::string>& resourceType,
        const std::optional<std::string>& signature, std::optional<platform::Error>& error);

    // The whole query text of a signature for a container (`resourceType`
    // "c") or blob ("b") of the client, `resourceName` its canonical name:
    // nullopt and `error` when the client holds no account key (logged) or
    // the parameters are refused.
    static std::optional<std::string> sharedAccessSignatureForResourceWithParameters(
        const BLSSharedAccessBlobParameters& parameters, const std::string& resourceType,
        const std::string& resourceName, const BLSCloudBlobClient* client, std::optional<platform::Error>& error);

    // Base64 signatures of the account and the blob string to sign.
    static std::optional<std::string> sharedAccessSignatureHashForAccountWithParameters(
        const BLSSharedAccessAccountParameters& parameters, const std::optional<std::string>& accountName,
        const BLSStorageCredentials* credentials, std::optional<platform::Error>& error);
    // Signed with the client's credentials; `resourceName` is the canonical
    // name that the container or blob forms.
    static std::optional<std::string> sharedAccessSignatureHashForBlobWithParameters(
        const BLSSharedAccessBlobParameters& parameters, const std::string& resourceName,
        const BLSCloudBlobClient* client, std::optional<platform::Error>& error);

    // The blob string to sign without the response headers.
    static std::optional<std::string> sharedAccessSignatureStringToSignWithPermissions(
        BLSSharedAccessPermissions permissions, const std::optional<Date>& sharedAccessStartTime,
        const std::optional<Date>& sharedAccessExpiryTime, const std::optional<std::string>& resource,
        const std::optional<std::string>& storedPolicyIdentifier,
        const std::optional<BLSSharedAccessIPRange>& ipAddressOrRange, BLSSharedAccessProtocols protocols,
        std::optional<platform::Error>& error);

    // HMAC-SHA256 with the account key, in base64; an error without
    // credentials or without an account key.
    static std::optional<std::string> sharedAccessSignatureHashWithStringToSign(
        const std::string& stringToSign, const BLSStorageCredentials* credentials,
        std::optional<platform::Error>& error);

    // Letter codes; nullopt for a value out of range, and at once when
    // `error` already holds an error (protocols excepted).
    static std::optional<std::string> stringFromPermissions(BLSSharedAccessPermissions permissions,
                                                            std::optional<platform::Error>& error);
    static std::optional<std::string> stringFromServices(BLSSharedAccessServices services,
                                                         std::optional<platform::Error>& error);
    static std::optional<std::string> stringFromResourceTypes(BLSSharedAccessResourceTypes resourceTypes,
                                                              std::optional<platform::Error>& error);
    static std::optional<std::string> stringFromProtocols(BLSSharedAccessProtocols protocols,
                                                          std::optional<platform::Error>& error);
    // The bits of a letter text; 0 and an error at an unknown letter.
    static BLSSharedAccessPermissions permissionsFromString(std::string_view text,
                                                            std::optional<platform::Error>& error);

    static std::string emptyIfNilString(const std::optional<std::string>& text) { return text.value_or(""); }
};
