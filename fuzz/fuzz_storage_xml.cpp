// The blob service's XML replies from untrusted bytes: the same bytes go to
// every reply reader (listings, stored policies, block lists, page ranges,
// service properties, the Error body) and to the event parser itself. What
// reads successfully is put to use: page ranges are checked for sense,
// stored policies and service properties are written back as request bodies
// and read again, and must come back the same.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "storage/BLSBlobRequestXML.h"
#include "storage/BLSErrors.h"
#include "storage/BLSListResponses.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSServiceProperties.h"
#include "storage/BLSStorageXMLParserDelegate.h"

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void require(bool condition) {
    if (!condition) std::abort();
}

// Every reader must either give a result or say why not.
template <typename Result>
void requireOutcome(const Result& result, const std::optional<platform::Error>& error) {
    require(static_cast<bool>(result) || error.has_value());
}

void exerciseDelegate(std::span<const std::uint8_t> data) {
    BLSStorageXMLParserDelegate parser;
    long depth = 0;
    parser.parseBeginElement = [&](BLSStorageXMLParserDelegate&, const std::string&,
                                   const BLSStorageXMLParserDelegate::Attributes&) {
        require(++depth <= BLSStorageXMLParserDelegate::maximumDepth);
    };
    parser.parseEndElement = [&](BLSStorageXMLParserDelegate&, const std::string&) { --depth; };
    parser.foundCharacters = [](BLSStorageXMLParserDelegate&, const std::string& text) { require(!text.empty()); };
    if (parser.parse(data)) require(depth == 0);
}

void exercisePageRanges(std::span<const std::uint8_t> data, BLSOperationContext& context) {
    std::optional<platform::Error> error;
    auto ranges = BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(data, context, error);
    requireOutcome(ranges, error);
    if (!ranges) return;
    for (const BLSULLRange& range : *ranges) {
        // Offsets are at most 2^63 - 1, so the last byte never wraps.
        require(range.length >= 1);
        require(range.location <= UINT64_MAX - (range.length - 1));
    }
}

void exerciseStoredPolicies(std::span<const std::uint8_t> data, BLSOperationContext& context) {
    std::optional<platform::Error> error;
    auto permissions =
        BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(data, context, error);
    requireOutcome(permissions, error);
    if (!permissions) return;

    std::optional<platform::Error> writeError;
    auto body =
        BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions(permissions->storedPolicies, context, writeError);
    require(body.has_value() && !writeError);
    std::optional<platform::Error> readError;
    auto readBack = BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
        bytesOf(*body), context, readError);
    require(readBack.has_value());
    require(readBack->storedPolicies.size() == permissions->storedPolicies.size());
    auto seconds = [](const std::optional<BLSWideDate>& date) {
        return date ? std::optional(std::chrono::floor<std::chrono::seconds>(*date)) : std::nullopt;
    };
    for (const auto& [identifier, policy] : permissions->storedPolicies) {
        auto found = readBack->storedPolicies.find(identifier);
        require(found != readBack->storedPolicies.end());
        require(found->second.permissions == policy.permissions);
        require(seconds(found->second.sharedAccessStartTime) == seconds(policy.sharedAccessStartTime));
        require(seconds(found->second.sharedAccessExpiryTime) == seconds(policy.sharedAccessExpiryTime));
    }
}

void exerciseBlockList(std::span<const std::uint8_t> data, BLSOperationContext& context) {
    std::optional<platform::Error> error;
    auto blocks = BLSGetBlockListResponse::parseGetBlockListResponseWithData(data, context, error);
    requireOutcome(blocks, error);
    if (!blocks) return;
    // A list read from the service can be committed again as it is.
    std::optional<platform::Error> writeError;
    auto body = BLSBlobRequestXML::createBlockListXMLFromArray(*blocks, context, writeError);
    require(body.has_value() && !writeError);
}

void exerciseServiceProperties(std::span<const std::uint8_t> data, BLSOperationContext& context) {
    std::optional<platform::Error> error;
    auto properties =
        BLSServicePropertiesResponseParser::parseDownloadServicePropertiesResponseWithData(data, context, error);
    requireOutcome(properties, error);
    if (!properties) return;

    std::optional<platform::Error> writeError;
    auto body = BLSBlobRequestXML::createServicePropertiesXML(*properties, context, writeError);
    require(body.has_value());
    // A CORS rule read without origins or methods cannot be written back;
    // the writer says so, and then there is nothing to compare.
    if (writeError) return;
    std::optional<platform::Error> readError;
    auto readBack = BLSServicePropertiesResponseParser::parseDownloadServicePropertiesResponseWithData(
        bytesOf(*body), context, readError);
    require(readBack.has_value());
    require(*readBack == *properties);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    BLSOperationContext context;

    exerciseDelegate(bytes);
    {
        std::optional<platform::Error> error;
        auto containers = BLSListContainersResponse::parseListContainersResponseWithData(bytes, context, error);
        requireOutcome(containers, error);
    }
    {
        std::optional<platform::Error> error;
        auto blobs = BLSListBlobsResponse::parseListBlobsResponseWithData(bytes, context, error);
        requireOutcome(blobs, error);
    }
    exerciseStoredPolicies(bytes, context);
    exerciseBlockList(bytes, context);
    exercisePageRanges(bytes, context);
    exerciseServiceProperties(bytes, context);
    {
        platform::Error populated = BLSMakeError(BLSErrorCode::ServerError);
        std::optional<platform::Error> error;
        BLSResponseParser::processErrorResponseWithData(bytes, populated, context, error);
        require(populated.code() == static_cast<long>(BLSErrorCode::ServerError));
    }
    return 0;
}
