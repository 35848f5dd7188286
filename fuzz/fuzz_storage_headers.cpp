// Blob service response headers from untrusted bytes: the input is a
// response head (a status line, then "Name: value" lines) read by the
// transport's head reader, and the head goes to every reader of storage
// headers: blob and container properties, leases, metadata, copy state,
// the numbers, the blob length and what a request result keeps. Every value
// is also read as each of the service's date forms, and a date that reads
// must be written and read back the same.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/HeadLines.h"
#include "platform/net/HTTPResponseHead.h"
#include "storage/BLSBlobResponseParser.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSUtil.h"

using fuzzsupport::Require;
using platform::net::HTTPURLResponse;

namespace {

void CheckDates(std::string_view text) {
    if (const auto date = BLSUtil::dateFromHttpString(text)) {
        const auto written = BLSUtil::convertDateToHttpString(date);
        Require(written.has_value() && BLSUtil::dateFromHttpString(*written) == date, "an HTTP date reads back");
    }
    if (const auto date = BLSUtil::dateFromRoundtripString(text)) {
        Require(BLSUtil::dateFromRoundtripString(BLSUtil::convertDateToRoundtripString(*date)) == date,
                "a round-trip date reads back");
    }
    if (const auto date = BLSUtil::dateFromUtcTimeString(text)) {
        Require(BLSUtil::dateFromUtcTimeString(BLSUtil::utcTimeOrEmptyWithDate(date)) == date, "a SAS time reads back");
    }
}

void CheckProperties(const HTTPURLResponse& response, BLSOperationContext& context) {
    std::optional<platform::Error> error;
    const auto properties = BLSBlobResponseParser::getBlobPropertiesWithResponse(response, context, error);
    Require(properties.has_value() != error.has_value(), "blob properties or an error");
    if (properties && properties->length) Require(*properties->length >= 0, "a blob's length is not negative");

    std::optional<platform::Error> containerError;
    (void)BLSBlobResponseParser::getContainerPropertiesWithResponse(response, context, containerError);
    Require(containerError.has_value() == error.has_value(), "a container's lease reads as a blob's");

    const auto length = BLSBlobResponseParser::getBlobLengthWithResponse(response);
    Require(!length || *length >= 0, "a length is not negative");
    (void)BLSBlobResponseParser::getRemainingLeaseTimeWithResponse(response);
    (void)BLSBlobResponseParser::getSequenceNumberWithResponse(response);
    (void)BLSBlobResponseParser::getAppendCommittedBlockCountWithResponse(response);
    (void)BLSBlobResponseParser::getAppendPositionWithResponse(response);
}

void CheckMetadata(const HTTPURLResponse& response) {
    for (const auto& [key, value] : BLSBlobResponseParser::getMetadataWithResponse(response)) {
        Require(!key.empty(), "a metadata key is not empty");
        const std::string* field = response.valueForHTTPHeaderField("x-bs-meta-" + key);
        Require(field != nullptr && *field == value, "a metadata value is its field's");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto url = platform::net::URL::parse("https://account.blob.core.vekmont-storage.net/layouts/a");
    platform::net::HTTPResponseHeadReader head;
    bool ended = false;
    fuzzsupport::ForEachLine(data, size, [&](std::string_view line) {
        if (!ended) ended = head.addLine(line);
    });
    const HTTPURLResponse response = head.response(*url);

    BLSOperationContext context;
    CheckProperties(response, context);
    CheckMetadata(response);
    (void)BLSBlobResponseParser::getCopyStateWithResponse(response);
    const BLSRequestResult result(std::chrono::system_clock::now(), BLSStorageLocationPrimary, response, std::nullopt);
    for (const auto& [name, value] : response.headers) CheckDates(value);
    return 0;
}
