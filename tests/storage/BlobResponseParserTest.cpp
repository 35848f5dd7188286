// Properties, leases, metadata and copy state read from response headers.

#include "storage/BLSBlobResponseParser.h"

#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::net::HTTPURLResponse;
using Headers = std::vector<std::pair<std::string, std::string>>;

HTTPURLResponse responseWith(const Headers& headers, std::int64_t expectedContentLength = -1) {
    HTTPURLResponse response;
    response.statusCode = 200;
    for (const auto& [name, value] : headers) response.headers.set(name, value);
    response.expectedContentLength = expectedContentLength;
    return response;
}

// A context that records what it logs.
struct RecordingContext {
    std::shared_ptr<BLSOperationContext> context = std::make_shared<BLSOperationContext>();
    std::vector<std::pair<BLSLogLevel, std::string>> lines;
    RecordingContext() {
        context->setLogLevel(BLSLogLevelDebug);
        context->setLogFunction(
            [this](BLSLogLevel level, const std::string& text) { lines.emplace_back(level, text); });
    }
};

TEST(BlobResponseParserTest, LeaseValues) {
    struct Case {
        const char* name;
        const char* header;
        const char* text;
        long expected;
    };
    const Case cases[] = {
        {"state available", "x-bs-lease-state", "available", 1},
        {"state leased", "x-bs-lease-state", "leased", 2},
        {"state expired", "x-bs-lease-state", "expired", 3},
        {"state breaking", "x-bs-lease-state", "breaking", 4},
        {"state broken", "x-bs-lease-state", "broken", 5},
        {"status locked", "x-bs-lease-status", "locked", 1},
        {"status unlocked", "x-bs-lease-status", "unlocked", 2},
        {"duration fixed", "x-bs-lease-duration", "fixed", 1},
        {"duration infinite", "x-bs-lease-duration", "infinite", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingContext rec;
        std::optional<platform::Error> error;
        auto response = responseWith({{c.header, c.text}});
        long value = -1;
        if (std::string(c.header) == "x-bs-lease-state") {
            value = BLSBlobResponseParser::getLeaseStateWithResponse(response, *rec.context, error);
        } else if (std::string(c.header) == "x-bs-lease-status") {
            value = BLSBlobResponseParser::getLeaseStatusWithResponse(response, *rec.context, error);
        } else {
            value = BLSBlobResponseParser::getLeaseDurationWithResponse(response, *rec.context, error);
        }
        EXPECT_EQ(value, c.expected);
        EXPECT_FALSE(error);
        EXPECT_TRUE(rec.lines.empty());
    }

    // Absent: 0 and no error.
    RecordingContext rec;
    std::optional<platform::Error> error;
    auto empty = responseWith({});
    EXPECT_EQ(BLSBlobResponseParser::getLeaseStateWithResponse(empty, *rec.context, error), 0);
    EXPECT_EQ(BLSBlobResponseParser::getLeaseStatusWithResponse(empty, *rec.context, error), 0);
    EXPECT_EQ(BLSBlobResponseParser::getLeaseDurationWithResponse(empty, *rec.context, error), 0);
    EXPECT_FALSE(error);

    // Unknown texts (also in another case): 0, code 6, an error-level log.
    const std::pair<const char*, const char*> unknown[] = {
        {"x-bs-lease-state", "Leased"}, {"x-bs-lease-status", "busy"}, {"x-bs-lease-duration", ""}};
    const char* logs[] = {"Parse unsuccessful for get lease state.", "Parse unsuccessful for get lease status.",
                          "Parse unsuccessful for get lease duration."};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(unknown[i].first);
        RecordingContext r;
        std::optional<platform::Error> e;
        auto response = responseWith({{unknown[i].first, unknown[i].second}});
        long value = i == 0   ? long{BLSBlobResponseParser::getLeaseStateWithResponse(response, *r.context, e)}
                     : i == 1 ? long{BLSBlobResponseParser::getLeaseStatusWithResponse(response, *r.context, e)}
                              : long{BLSBlobResponseParser::getLeaseDurationWithResponse(response, *r.context, e)};
        EXPECT_EQ(value, 0);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->domain(), BLSErrorDomain);
        EXPECT_EQ(e->code(), 6);
        ASSERT_EQ(r.lines.size(), 1u);
        EXPECT_EQ(r.lines[0].first, 3);
        EXPECT_EQ(r.lines[0].second, logs[i]);
    }
}

TEST(BlobResponseParserTest, BlobProperties) {
    RecordingContext rec;
    std::optional<platform::Error> error;
    auto response = responseWith({{"ETag", "\"0x8D1\""},
                                  {"Last-Modified", "Sat, 01 Jan 2000 00:00:10 GMT"},
                                  {"x-bs-lease-state", "leased"},
                                  {"x-bs-lease-status", "locked"},
                                  {"x-bs-lease-duration", "infinite"},
                                  {"Content-Language", "de"},
                                  {"Content-Disposition", "attachment"},
                                  {"Content-Encoding", "gzip"},
                                  {"Content-MD5", "1B2M2Y8AsgTpgAmY7PhCfg=="},
                                  {"Content-Type", "application/x-layout"},
                                  {"Cache-Control", "no-cache"},
                                  {"x-bs-blob-type", "PageBlob"},
                                  {"x-bs-blob-content-length", "1000"},
                                  {"Content-Length", "10"},
                                  {"x-bs-blob-sequence-number", "7"},
                                  {"x-bs-blob-committed-block-count", "12"}});
    auto properties = BLSBlobResponseParser::getBlobPropertiesWithResponse(response, *rec.context, error);
    ASSERT_TRUE(properties);
    EXPECT_FALSE(error);
    EXPECT_EQ(properties->eTag, "\"0x8D1\"");
    ASSERT_TRUE(properties->lastModified);
    // 2000-01-01T00:00:10Z is 946684810 seconds after the epoch.
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(properties->lastModified->time_since_epoch()).count(),
              946684810);
    EXPECT_EQ(properties->leaseState, 2);
    EXPECT_EQ(properties->leaseStatus, 1);
    EXPECT_EQ(properties->leaseDuration, 2);
    EXPECT_EQ(properties->contentLanguage, "de");
    EXPECT_EQ(properties->contentDisposition, "attachment");
    EXPECT_EQ(properties->contentEncoding, "gzip");
    EXPECT_EQ(properties->contentMD5, "1B2M2Y8AsgTpgAmY7PhCfg==");
    EXPECT_EQ(properties->contentType, "application/x-layout");
    EXPECT_EQ(properties->cacheControl, "no-cache");
    EXPECT_EQ(properties->blobType, 1);
    EXPECT_EQ(properties->length, 1000);  // the blob length header wins over Content-Length
    EXPECT_EQ(properties->sequenceNumber, 7);
    EXPECT_EQ(properties->appendBlobCommittedBlockCount, 12);

    // Blob types and the absent optional fields.
    const std::pair<const char*, long> types[] = {
        {"BlockBlob", 2}, {"PageBlob", 1}, {"AppendBlob", 3}, {"blockblob", 0}, {"Other", 0}};
    for (const auto& [text, expected] : types) {
        SCOPED_TRACE(text);
        std::optional<platform::Error> e;
        auto p = BLSBlobResponseParser::getBlobPropertiesWithResponse(responseWith({{"x-bs-blob-type", text}}),
                                                                      *rec.context, e);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->blobType, expected);
        EXPECT_FALSE(p->eTag);
        EXPECT_FALSE(p->contentMD5);
        EXPECT_FALSE(p->sequenceNumber);
        EXPECT_FALSE(p->appendBlobCommittedBlockCount);
        EXPECT_FALSE(p->length);
    }

    // An unparsable date gives no date, not an error.
    std::optional<platform::Error> e;
    auto p = BLSBlobResponseParser::getBlobPropertiesWithResponse(responseWith({{"Last-Modified", "yesterday"}}),
                                                                  *rec.context, e);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->lastModified);
    EXPECT_FALSE(e);
}

TEST(BlobResponseParserTest, BlobLength) {
    struct Case {
        const char* name;
        Headers headers;
        std::int64_t expectedContentLength;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {"ranged answer: the total after the slash",
         {{"Content-Range", "bytes 0-9/5000"}, {"Content-Length", "10"}},
         10,
         5000},
        {"ranged answer beats the blob length header",
         {{"Content-Range", "bytes 100-199/300"}, {"x-bs-blob-content-length", "100"}},
         100,
         300},
        {"a Range header is read the same way", {{"Range", "bytes=0-3/42"}, {"Content-Length", "4"}}, 4, 42},
        {"range without slash leaves the length unset",
         {{"Content-Range", "bytes 0-9"}, {"Content-Length", "10"}},
         10,
         std::nullopt},
        {"range with unknown total leaves the length unset",
         {{"Content-Range", "bytes 0-9/*"}, {"Content-Length", "10"}},
         10,
         std::nullopt},
        {"range with text total leaves the length unset", {{"Content-Range", "bytes 0-9/abc"}}, -1, std::nullopt},
        {"total above 2^32", {{"Content-Range", "bytes 0-0/6000000000"}}, 1, 6000000000LL},
        {"blob length header", {{"x-bs-blob-content-length", "1000"}, {"Content-Length", "10"}}, 10, 1000},
        {"Content-Length", {{"Content-Length", "10"}}, 10, 10},
        {"non-number falls through to Content-Length",
         {{"x-bs-blob-content-length", "many"}, {"Content-Length", "11"}},
         11,
         11},
        // No blob is shorter than nothing: a negative length is no length.
        {"negative blob length falls through to Content-Length",
         {{"x-bs-blob-content-length", "-48"}, {"Content-Length", "12"}},
         12,
         12},
        {"negative Content-Length falls through to the expected length", {{"Content-Length", "-3"}}, 9, 9},
        {"negative lengths everywhere",
         {{"x-bs-blob-content-length", "-1"}, {"Content-Length", "-1"}},
         -1,
         std::nullopt},
        {"expected content length", {}, 77, 77},
        {"nothing known", {}, -1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BLSBlobResponseParser::getBlobLengthWithResponse(responseWith(c.headers, c.expectedContentLength)),
                  c.expected);
        RecordingContext rec;
        std::optional<platform::Error> error;
        auto properties = BLSBlobResponseParser::getBlobPropertiesWithResponse(
            responseWith(c.headers, c.expectedContentLength), *rec.context, error);
        ASSERT_TRUE(properties);
        EXPECT_EQ(properties->length, c.expected);
    }
}

TEST(BlobResponseParserTest, LeaseFailureStopsBlobPropertiesButNotContainerProperties) {
    auto response = responseWith({{"ETag", "\"e\""},
                                  {"Last-Modified", "Sat, 01 Jan 2000 00:00:00 GMT"},
                                  {"x-bs-lease-state", "leased"},
                                  {"x-bs-lease-status", "wobbly"},
                                  {"x-bs-lease-duration", "fixed"}});
    RecordingContext rec;
    std::optional<platform::Error> error;
    EXPECT_FALSE(BLSBlobResponseParser::getBlobPropertiesWithResponse(response, *rec.context, error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 6);
    // The parse stopped at the status: the duration was never read.
    ASSERT_EQ(rec.lines.size(), 1u);
    EXPECT_EQ(rec.lines[0].second, "Parse unsuccessful for get lease status.");

    RecordingContext rec2;
    std::optional<platform::Error> error2;
    auto container = BLSBlobResponseParser::getContainerPropertiesWithResponse(response, *rec2.context, error2);
    ASSERT_TRUE(error2);
    EXPECT_EQ(error2->code(), 6);
    EXPECT_EQ(container.eTag, "\"e\"");
    EXPECT_TRUE(container.lastModified);
    EXPECT_EQ(container.leaseState, BLSLeaseStateLeased);
    EXPECT_EQ(container.leaseStatus, BLSLeaseStatusUnspecified);
    EXPECT_EQ(container.leaseDuration, BLSLeaseDurationFixed);

    RecordingContext rec3;
    std::optional<platform::Error> error3;
    auto fine = BLSBlobResponseParser::getContainerPropertiesWithResponse(
        responseWith({{"x-bs-lease-state", "available"}, {"x-bs-lease-status", "unlocked"}}), *rec3.context, error3);
    EXPECT_FALSE(error3);
    EXPECT_EQ(fine.leaseState, BLSLeaseStateAvailable);
    EXPECT_EQ(fine.leaseStatus, BLSLeaseStatusUnlocked);
    EXPECT_EQ(fine.leaseDuration, BLSLeaseDurationUnspecified);
}

TEST(BlobResponseParserTest, Metadata) {
    auto response = responseWith({{"x-bs-meta-Owner", "Ann"},
                                  {"x-bs-meta-layout_scale", "H0"},
                                  {"X-BS-META-shouting", "ignored"},
                                  {"x-bs-metadata", "not metadata"},
                                  {"x-bs-meta-", "no key"},
                                  {"Content-Type", "text/plain"}});
    BLSMetadata expected{{"Owner", "Ann"}, {"layout_scale", "H0"}};
    EXPECT_EQ(BLSBlobResponseParser::getMetadataWithResponse(response), expected);
    EXPECT_TRUE(BLSBlobResponseParser::getMetadataWithResponse(responseWith({})).empty());
}

TEST(BlobResponseParserTest, CopyState) {
    auto response = responseWith({{"x-bs-copy-status", "pending"},
                                  {"x-bs-copy-id", "c0py-1d"},
                                  {"x-bs-copy-status-description", "half way"},
                                  {"x-bs-copy-progress", "512/2048"},
                                  {"x-bs-copy-source", "http://127.0.0.1:9/acc/src/a.lay"},
                                  {"x-bs-copy-completion-time", "2000-01-01T00:00:10.5000000Z"}});
    BLSCopyState state = BLSBlobResponseParser::getCopyStateWithResponse(response);
    EXPECT_EQ(state.copyStatus, BLSCopyStatusPending);
    EXPECT_EQ(state.operationId, "c0py-1d");
    EXPECT_EQ(state.statusDescription, "half way");
    EXPECT_EQ(state.bytesCopied, 512);
    EXPECT_EQ(state.totalBytes, 2048);
    ASSERT_TRUE(state.source);
    EXPECT_EQ(state.source->host(), "127.0.0.1");
    EXPECT_EQ(state.source->path(), "/acc/src/a.lay");
    ASSERT_TRUE(state.completionTime);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(state.completionTime->time_since_epoch()).count(),
              946684810500LL);

    const std::pair<const char*, long> statuses[] = {{"success", 2}, {"pending", 1}, {"aborted", 3},
                                                     {"failed", 4},  {"Success", 0}, {"gone", 0}};
    for (const auto& [text, expected] : statuses) {
        SCOPED_TRACE(text);
        EXPECT_EQ(
            BLSBlobResponseParser::getCopyStateWithResponse(responseWith({{"x-bs-copy-status", text}})).copyStatus,
            expected);
    }

    // Without a status nothing is read, not even the id.
    BLSCopyState none = BLSBlobResponseParser::getCopyStateWithResponse(
        responseWith({{"x-bs-copy-id", "lonely"}, {"x-bs-copy-progress", "1/2"}}));
    EXPECT_FALSE(none.operationId);
    EXPECT_FALSE(none.bytesCopied);
    EXPECT_EQ(none.copyStatus, BLSCopyStatusUnspecified);
}

TEST(BlobResponseParserTest, HeaderDatesBeyondTheClockGiveNoDate) {
    // Years a system clock value cannot hold once were read as some other
    // year (9999 as 1816); now they are no date, and the rest still reads.
    const char* farOff[] = {"Fri, 31 Dec 9999 23:59:59 GMT", "Thu, 01 Jan 0015 00:00:00 GMT"};
    for (const char* text : farOff) {
        SCOPED_TRACE(text);
        auto response = responseWith({{"ETag", "\"e\""}, {"Last-Modified", text}});
        RecordingContext rec;
        std::optional<platform::Error> error;
        auto blob = BLSBlobResponseParser::getBlobPropertiesWithResponse(response, *rec.context, error);
        ASSERT_TRUE(blob);
        EXPECT_FALSE(error);
        EXPECT_FALSE(blob->lastModified);
        EXPECT_EQ(blob->eTag, "\"e\"");
        auto container = BLSBlobResponseParser::getContainerPropertiesWithResponse(response, *rec.context, error);
        EXPECT_FALSE(container.lastModified);
        EXPECT_EQ(container.eTag, "\"e\"");
    }

    const char* farOffCopies[] = {"9999-12-31T23:59:59.9999999Z", "0015-01-01T00:00:00.0000000Z"};
    for (const char* text : farOffCopies) {
        SCOPED_TRACE(text);
        BLSCopyState state = BLSBlobResponseParser::getCopyStateWithResponse(
            responseWith({{"x-bs-copy-status", "success"}, {"x-bs-copy-completion-time", text}}));
        EXPECT_FALSE(state.completionTime);
        EXPECT_EQ(state.copyStatus, BLSCopyStatusSuccess);
    }
}

TEST(BlobResponseParserTest, SingleNumbers) {
    auto response = responseWith({{"x-bs-lease-time", "37"},
                                  {"x-bs-blob-sequence-number", "9223372036854775807"},
                                  {"x-bs-blob-committed-block-count", "3"},
                                  {"x-bs-blob-append-offset", "4194304"}});
    EXPECT_EQ(BLSBlobResponseParser::getRemainingLeaseTimeWithResponse(response), 37);
    EXPECT_EQ(BLSBlobResponseParser::getSequenceNumberWithResponse(response), 9223372036854775807LL);
    EXPECT_EQ(BLSBlobResponseParser::getAppendCommittedBlockCountWithResponse(response), 3);
    EXPECT_EQ(BLSBlobResponseParser::getAppendPositionWithResponse(response), 4194304);

    auto empty = responseWith({});
    EXPECT_FALSE(BLSBlobResponseParser::getRemainingLeaseTimeWithResponse(empty));
    EXPECT_FALSE(BLSBlobResponseParser::getSequenceNumberWithResponse(empty));
    EXPECT_FALSE(BLSBlobResponseParser::getAppendCommittedBlockCountWithResponse(empty));
    EXPECT_FALSE(BLSBlobResponseParser::getAppendPositionWithResponse(empty));

    const std::pair<const char*, std::optional<std::int64_t>> texts[] = {
        {"0", 0},
        {" 12 ", 12},
        {"+5", 5},
        {"-3", -3},
        {"", std::nullopt},
        {"12a", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"0x10", std::nullopt},
        {"- 1", std::nullopt},
    };
    for (const auto& [text, expected] : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(BLSBlobResponseParser::parseInt64(text), expected);
    }
}

}  // namespace
