#include "storage/BLSSharedAccessSignatureHelper.h"

#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

namespace {

constexpr const char* kSignedVersion = "2016-03-14";

// Sets code 1 (unless an error is there already) and logs the reason.
void fail(std::optional<platform::Error>& error, const char* reason) {
    BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelError, reason);
    if (!error) error = BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
}

std::string letters(unsigned long value, std::initializer_list<std::pair<unsigned long, char>> table) {
    std::string text;
    for (auto [bit, letter] : table) {
        if (value & bit) text += letter;
    }
    return text;
}

std::optional<std::string> rangeText(const std::optional<BLSSharedAccessIPRange>& range) {
    if (!range) return std::nullopt;
    return range->rangeString();
}

}  // namespace

std::optional<BLSUriQueryBuilder> BLSSharedAccessSignatureHelper::sharedAccessSignatureWithPermissions(
    BLSSharedAccessPermissions permissions, BLSSharedAccessServices services,
    BLSSharedAccessResourceTypes resourceTypes, const std::optional<Date>& sharedAccessStartTime,
    const std::optional<Date>& sharedAccessExpiryTime, const std::optional<std::string>& startPartitionKey,
    const std::optional<std::string>& startRowKey, const std::optional<std::string>& endPartitionKey,
    const std::optional<std::string>& endRowKey, const std::optional<BLSSharedAccessHeaders>& headers,
    const std::optional<std::string>& storedPolicyIdentifier, const std::optional<std::string>& resourceType,
    const std::optional<BLSSharedAccessIPRange>& ipAddressOrRange, BLSSharedAccessProtocols protocols,
    const std::optional<std::string>& tableName, const std::optional<std::string>& signature,
    std::optional<platform::Error>& error) {
    if (!signature) {
        fail(error, "Missing signature argument.");
        return std::nullopt;
    }

    BLSUriQueryBuilder builder;
    builder.addIfNotNilOrEmptyWithKey("sp", stringFromPermissions(permissions, error));
    if (error) return std::nullopt;
    builder.addIfNotNilOrEmptyWithKey("ss", stringFromServices(services, error));
    if (error) return std::nullopt;
    builder.addIfNotNilOrEmptyWithKey("srt", stringFromResourceTypes(resourceTypes, error));
    if (error) return std::nullopt;
    builder.addIfNotNilOrEmptyWithKey("spr", stringFromProtocols(protocols, error));
    if (error) return std::nullopt;
    builder.addWithKey("sv", std::string(kSignedVersion));
    builder.addIfNotNilOrEmptyWithKey("st", BLSUtil::utcTimeOrEmptyWithDate(sharedAccessStartTime));
    builder.addIfNotNilOrEmptyWithKey("se", BLSUtil::utcTimeOrEmptyWithDate(sharedAccessExpiryTime));
    builder.addIfNotNilOrEmptyWithKey("spk", startPartitionKey);
    builder.addIfNotNilOrEmptyWithKey("srk", startRowKey);
    builder.addIfNotNilOrEmptyWithKey("epk", endPartitionKey);
    builder.addIfNotNilOrEmptyWithKey("erk", endRowKey);
    builder.addIfNotNilOrEmptyWithKey("si", storedPolicyIdentifier);
    builder.addIfNotNilOrEmptyWithKey("sr", resourceType);
    builder.addIfNotNilOrEmptyWithKey("sip", rangeText(ipAddressOrRange));
    builder.addIfNotNilOrEmptyWithKey("tn", tableName);
    if (headers) {
        builder.addIfNotNilOrEmptyWithKey("rscc", headers->cacheControl);
        builder.addIfNotNilOrEmptyWithKey("rsct", headers->contentType);
        builder.addIfNotNilOrEmptyWithKey("rsce", headers->contentEncoding);
        builder.addIfNotNilOrEmptyWithKey("rscl", headers->contentLanguage);
        builder.addIfNotNilOrEmptyWithKey("rscd", headers->contentDisposition);
    }
    builder.addIfNotNilOrEmptyWithKey("sig", signature);
    return builder;
}

std::optional<BLSUriQueryBuilder> BLSSharedAccessSignatureHelper::sharedAccessSignatureForAccountWithParameters(
    const BLSSharedAccessAccountParameters& parameters, const std::optional<std::string>& signature,
    std::optional<platform::Error>& error) {
    return sharedAccessSignatureWithPermissions(
        parameters.permissions, parameters.services, parameters.resourceTypes, parameters.sharedAccessStartTime,
        parameters.sharedAccessExpiryTime, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
        std::nullopt, std::nullopt, parameters.ipAddressOrRange, parameters.protocols, std::nullopt, signature, error);
}

std::optional<BLSUriQueryBuilder> BLSSharedAccessSignatureHelper::sharedAccessSignatureForBlobWithParameters(
    const BLSSharedAccessBlobParameters& parameters, const std::optional<std::string>& resourceType,
    const std::optional<std::string>& signature, std::optional<platform::Error>& error) {
    if (!resourceType) {
        fail(error, "Missing resourceType argument.");
        return std::nullopt;
    }
    return sharedAccessSignatureWithPermissions(
        parameters.permissions, 0, 0, parameters.sharedAccessStartTime, parameters.sharedAccessExpiryTime, std::nullopt,
        std::nullopt, std::nullopt, std::nullopt, parameters.headers, parameters.storedPolicyIdentifier, resourceType,
        parameters.ipAddressOrRange, parameters.protocols, std::nullopt, signature, error);
}

std::optional<std::string> BLSSharedAccessSignatureHelper::sharedAccessSignatureHashForAccountWithParameters(
    const BLSSharedAccessAccountParameters& parameters, const std::optional<std::string>& accountName,
    const BLSStorageCredentials* credentials, std::optional<platform::Error>& error) {
    if (!accountName) {
        fail(error, "Missing account name argument.");
        return std::nullopt;
    }
    auto permissions = stringFromPermissions(parameters.permissions, error);
    auto services = stringFromServices(parameters.services, error);
    auto resourceTypes = stringFromResourceTypes(parameters.resourceTypes, error);
    auto protocols = stringFromProtocols(parameters.protocols, error);
    if (error) return std::nullopt;

    std::string stringToSign = *accountName + "\n" + permissions.value_or("") + "\n" + services.value_or("") + "\n" +
                               resourceTypes.value_or("") + "\n" +
                               BLSUtil::utcTimeOrEmptyWithDate(parameters.sharedAccessStartTime) + "\n" +
                               BLSUtil::utcTimeOrEmptyWithDate(parameters.sharedAccessExpiryTime) + "\n" +
                               rangeText(parameters.ipAddressOrRange).value_or("") + "\n" + protocols.value_or("") +
                               "\n" + kSignedVersion + "\n";
    return sharedAccessSignatureHashWithStringToSign(stringToSign, credentials, error);
}

std::optional<std::string> BLSSharedAccessSignatureHelper::sharedAccessSignatureForResourceWithParameters(
    const BLSSharedAccessBlobParameters& parameters, const std::string& resourceType, const std::string& resourceName,
    const BLSCloudBlobClient* client, std::optional<platform::Error>& error) {
    if (!client || !client->credentials() || !client->credentials()->isSharedKey()) {
        BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelError,
                                                    std::string("Cannot create SAS without account key."));
        error = BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
        return std::nullopt;
    }
    auto signature = sharedAccessSignatureHashForBlobWithParameters(parameters, resourceName, client, error);
    auto builder = signature ? sharedAccessSignatureForBlobWithParameters(parameters, resourceType, signature, error)
                             : std::nullopt;
    if (!builder) {
        // A refusal always says why.
        if (!error) error = BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
        return std::nullopt;
    }
    return builder->builderAsString();
}

std::optional<std::string> BLSSharedAccessSignatureHelper::sharedAccessSignatureHashForBlobWithParameters(
    const BLSSharedAccessBlobParameters& parameters, const std::string& resourceName, const BLSCloudBlobClient* client,
    std::optional<platform::Error>& error) {
    auto text = sharedAccessSignatureStringToSignWithPermissions(
        parameters.permissions, parameters.sharedAccessStartTime, parameters.sharedAccessExpiryTime, resourceName,
        parameters.storedPolicyIdentifier, parameters.ipAddressOrRange, parameters.protocols, error);
    if (!text) return std::nullopt;
    const auto& headers = parameters.headers;
    std::string stringToSign = *text + "\n" + emptyIfNilString(headers.cacheControl) + "\n" +
                               emptyIfNilString(headers.contentDisposition) + "\n" +
                               emptyIfNilString(headers.contentEncoding) + "\n" +
                               emptyIfNilString(headers.contentLanguage) + "\n" + emptyIfNilString(headers.contentType);
    return sharedAccessSignatureHashWithStringToSign(stringToSign, client ? client->credentials().get() : nullptr,
                                                     error);
}

std::optional<std::string> BLSSharedAccessSignatureHelper::sharedAccessSignatureStringToSignWithPermissions(
    BLSSharedAccessPermissions permissions, const std::optional<Date>& sharedAccessStartTime,
    const std::optional<Date>& sharedAccessExpiryTime, const std::optional<std::string>& resource,
    const std::optional<std::string>& storedPolicyIdentifier,
    const std::optional<BLSSharedAccessIPRange>& ipAddressOrRange, BLSSharedAccessProtocols protocols,
    std::optional<platform::Error>& error) {
    if (!resource) {
        fail(error, "Missing resource argument.");
        return std::nullopt;
    }
    auto permissionLetters = stringFromPermissions(permissions, error);
    auto protocolText = stringFromProtocols(protocols, error);
    if (error) return std::nullopt;
    return permissionLetters.value_or("") + "\n" + BLSUtil::utcTimeOrEmptyWithDate(sharedAccessStartTime) + "\n" +
           BLSUtil::utcTimeOrEmptyWithDate(sharedAccessExpiryTime) + "\n" + *resource + "\n" +
           emptyIfNilString(storedPolicyIdentifier) + "\n" + rangeText(ipAddressOrRange).value_or("") + "\n" +
           protocolText.value_or("") + "\n" + kSignedVersion;
}

std::optional<std::string> BLSSharedAccessSignatureHelper::sharedAccessSignatureHashWithStringToSign(
    const std::string& stringToSign, const BLSStorageCredentials* credentials, std::optional<platform::Error>& error) {
    // Without a key there is nothing to sign with; an HMAC over an empty key
    // would look like a signature and be refused by the service.
    if (!credentials || !credentials->isSharedKey()) {
        fail(error, "Client is missing credentials.");
        return std::nullopt;
    }
    BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelInfo, [&] { return "String To Sign:\n" + stringToSign; });
    return BLSUtil::computeHmac256WithString(stringToSign, *credentials->accountKey());
}

std::optional<std::string> BLSSharedAccessSignatureHelper::stringFromPermissions(
    BLSSharedAccessPermissions permissions, std::optional<platform::Error>& error) {
    if (error) return std::nullopt;
    if (permissions >= 256) {
        fail(error, "Unrecognized permissions argument.");
        return std::nullopt;
    }
    return letters(permissions, {{1, 'r'}, {2, 'a'}, {4, 'c'}, {8, 'w'}, {16, 'd'}, {32, 'l'}});
}

std::optional<std::string> BLSSharedAccessSignatureHelper::stringFromServices(BLSSharedAccessServices services,
                                                                              std::optional<platform::Error>& error) {
    if (error) return std::nullopt;
    if (services >= 16) {
        fail(error, "Unrecognized services argument.");
        return std::nullopt;
    }
    return letters(services, {{1, 'b'}, {2, 'f'}, {4, 'q'}, {8, 't'}});
}

std::optional<std::string> BLSSharedAccessSignatureHelper::stringFromResourceTypes(
    BLSSharedAccessResourceTypes resourceTypes, std::optional<platform::Error>& error) {
    if (error) return std::nullopt;
    if (resourceTypes >= 16) {
        fail(error, "Unrecognized resource types argument.");
        return std::nullopt;
    }
    return letters(resourceTypes, {{1, 's'}, {2, 'c'}, {4, 'o'}});
}

std::optional<std::string> BLSSharedAccessSignatureHelper::stringFromProtocols(BLSSharedAccessProtocols protocols,
                                                                               std::optional<platform::Error>& error) {
    switch (protocols) {
        case 0: return std::string();
        case 1: return std::string("https,http");
        case 2: return std::string("https");
        default: fail(error, "Unrecognized protocol restriction."); return std::nullopt;
    }
}

BLSSharedAccessPermissions BLSSharedAccessSignatureHelper::permissionsFromString(
    std::string_view text, std::optional<platform::Error>& error) {
    BLSSharedAccessPermissions permissions = 0;
    for (char c : text) {
        switch (c) {
            case 'r': permissions |= 1; break;
            case 'a': permissions |= 2; break;
            case 'c': permissions |= 4; break;
            case 'w': permissions |= 8; break;
            case 'd': permissions |= 16; break;
            case 'l': permissions |= 32; break;
            default:
                // An unreadable permission grants nothing.
                fail(error, "Unrecognized permissions character.");
                return 0;
        }
    }
    return permissions;
}
