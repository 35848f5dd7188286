#pragma once
// Takes storage addresses apart: the SAS token and snapshot time in a blob or
// container address, container and blob names, the service's base address.

#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "storage/BLSStorageUri.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

class BLSStorageCredentials;

class BLSNavigationUtil {
public:
    using URL = platform::net::URL;

    // An address split into the address without query, the credentials of
    // its query (anonymous credentials when it holds no SAS) and the value
    // of its "snapshot" parameter.
    struct ParsedUri {
        std::optional<URL> address;
        std::shared_ptr<BLSStorageCredentials> credentials;
        std::optional<std::string> snapshot;
    };
    struct ParsedStorageUri {
        std::optional<BLSStorageUri> address;
        std::shared_ptr<BLSStorageCredentials> credentials;
        std::optional<std::string> snapshot;
    };

    // nullopt for nullopt. The address keeps scheme, host, port and path.
    static std::optional<ParsedUri> parseBlobQueryAndVerifyWithUri(const std::optional<URL>& uri);
    // Credentials and snapshot come from the primary address; nullopt when
    // there is no primary address.
    static std::optional<ParsedStorageUri> parseBlobQueryAndVerifyWithStorageUri(
        const std::optional<BLSStorageUri>& uri);

    // Removes "restype", "comp", "snapshot" and "api-version" (any case) from
    // the map; SAS credentials of the remaining pairs (names lower-cased) when
    // a "sig" is among them, else nullptr.
    static std::shared_ptr<BLSStorageCredentials> parseSASQueryWithQueryParameters(
        std::map<std::string, std::string>& queryParameters);

    // The container of a container address: the second path segment with
    // path-style addressing (nullopt without one), else the path without
    // its leading "/" (nullopt when that is empty).
    static std::optional<std::string> getContainerNameWithContainerAddress(const URL& uri, bool isPathStyle);
    // The blob's name: the decoded path below the container (it may hold
    // "/"); nullopt when the path ends at the container.
    static std::optional<std::string> getBlobNameWithBlobAddress(const URL& uri, bool isPathStyle);

    // The blob service holding the resource: scheme, host and port, plus the
    // account segment with path-style addressing. nullopt for nullopt or when
    // `error` already holds an error; error code 1 ("URI is missing account
    // information.") when a path-style address has no account segment.
    static std::optional<URL> getServiceClientBaseAddressWithUri(const std::optional<URL>& uri, bool usePathStyle,
                                                                 std::optional<platform::Error>& error);
    static std::optional<BLSStorageUri> getServiceClientBaseAddressWithStorageUri(
        const std::optional<BLSStorageUri>& uri, bool usePathStyle, std::optional<platform::Error>& error);

    // What a container or blob object made from an address is built from.
    enum class AddressedResource { Container, Blob };
    struct ResolvedAddress {
        BLSStorageUri address;  // without signature and snapshot
        std::string name;       // the container's, or the blob's below its container
        std::shared_ptr<BLSStorageCredentials> credentials;
        std::optional<std::string> snapshotTime;  // the given one, else the address's
        BLSStorageUri serviceAddress;             // for the object's own client
    };
    // Takes an object's address apart. Given credentials serve unless they
    // are missing or anonymous, in which case the address's signature (or
    // anonymous credentials) does. Error code 1 (nullopt) for an address
    // without primary URI, signed credentials given with a signed address
    // ("Multiple credentials provided." logged at error level on the
    // operationless context), a snapshot time given with an address that
    // names one ("Multiple snapshot times provided.", likewise), an address
    // that names no such resource, or one without account.
    static std::optional<ResolvedAddress> resolveAddressWithStorageUri(
        const BLSStorageUri& storageUri, AddressedResource resource, std::shared_ptr<BLSStorageCredentials> credentials,
        std::optional<std::string> snapshotTime, std::optional<platform::Error>& error);
};
