// Bare storage requests, metadata and access-condition headers, and the
// access condition value itself.

#include "storage/BLSAccessCondition.h"
#include "storage/BLSRequestFactory.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using platform::net::URL;
using platform::net::URLComponents;
using platform::net::URLRequest;

namespace {

using namespace storagetest;

// 1 January 2000, 00:00:00 UTC, a Saturday.
const BLSDate kNewYear2000 = std::chrono::sys_days{std::chrono::year{2000} / 1 / 1};
// 29 February 2016, 13:05:09 UTC, a Monday.
const BLSDate kLeapDay2016 = std::chrono::sys_days{std::chrono::year{2016} / 2 / 29} + std::chrono::hours{13} +
                             std::chrono::minutes{5} + std::chrono::seconds{9};

}  // namespace

TEST(RequestFactory, BareRequestsCarryMethodTimeoutCachePolicyAndVersionOnly) {
    struct Case {
        const char* name;
        std::function<URLRequest(const URLComponents&, double)> make;
        const char* method;
        double timeout;
    };
    const Case cases[] = {
        {"put", BLSRequestFactory::putRequestWithUrlComponents, "PUT", 90},
        {"get with 30 seconds", BLSRequestFactory::getRequestWithUrlComponents, "GET", 30},
        {"head", BLSRequestFactory::headRequestWithUrlComponents, "HEAD", 5.5},
        {"delete", BLSRequestFactory::deleteRequestWithUrlComponents, "DELETE", 120},
    };
    const URLComponents components = componentsOf("https://acct.blob.example.net/cont/blob?restype=container");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLRequest request = c.make(components, c.timeout);
        EXPECT_EQ(request.httpMethod, c.method);
        EXPECT_EQ(request.timeoutInterval, c.timeout);
        EXPECT_EQ(request.cachePolicy, platform::net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
        EXPECT_EQ(request.url.absoluteString(), "https://acct.blob.example.net/cont/blob?restype=container");
        EXPECT_EQ(headersOf(request), Headers{kVersion});
        EXPECT_TRUE(request.httpBody.empty());
    }
}

TEST(RequestFactory, ComponentsWithoutValidUrlAreRefused) {
    URLComponents noScheme;
    noScheme.host = "acct.blob.example.net";
    noScheme.setPath("/cont");
    EXPECT_THROW(BLSRequestFactory::getRequestWithUrlComponents(noScheme, 30), std::invalid_argument);
    EXPECT_THROW(BLSRequestFactory::putRequestWithUrlComponents(URLComponents{}, 30), std::invalid_argument);
}

TEST(RequestFactory, MetadataBecomesPrefixedHeadersWithKeysAsWritten) {
    URLRequest request = BLSRequestFactory::putRequestWithUrlComponents(componentsOf("https://a.example.net/c"), 30);
    BLSRequestFactory::addMetadataToRequest(request, nullptr);
    EXPECT_EQ(headersOf(request), Headers{kVersion});

    const BLSMetadata metadata{{"author", "Ann Example"}, {"Zeta", "z=1;2"}, {"with-dash_and.dot", ""}};
    BLSRequestFactory::addMetadataToRequest(request, &metadata);
    // std::map order: upper case sorts before lower case.
    EXPECT_EQ(headersOf(request), (Headers{kVersion,
                                           {"x-bs-meta-Zeta", "z=1;2"},
                                           {"x-bs-meta-author", "Ann Example"},
                                           {"x-bs-meta-with-dash_and.dot", ""}}));

    // Metadata replaces an earlier value of its header rather than joining it.
    const BLSMetadata again{{"author", "Bea"}};
    BLSRequestFactory::addMetadataToRequest(request, &again);
    ASSERT_NE(request.valueForHTTPHeaderField("x-bs-meta-author"), nullptr);
    EXPECT_EQ(*request.valueForHTTPHeaderField("x-bs-meta-author"), "Bea");
    EXPECT_EQ(request.headers.size(), 4u);
}

TEST(RequestFactory, MetadataThatWouldBreakTheHeaderBlockIsRefused) {
    struct Case {
        const char* name;
        BLSMetadata metadata;
    };
    const Case cases[] = {
        {"CR LF in a value adds a header", {{"author", "ann\r\nx-bs-meta-admin: true"}}},
        {"lone LF in a value", {{"author", "ann\nx"}}},
        {"lone CR in a value", {{"author", "ann\rx"}}},
        {"NUL in a value", {{"author", std::string("ann\0x", 5)}}},
        {"CR LF in a key", {{"a\r\nx-bs-lease-id: stolen\r\nx", "v"}}},
        {"LF in a key", {{"a\nb", "v"}}},
        {"blank in a key", {{"first name", "v"}}},
        {"colon in a key", {{"a:b", "v"}}},
        {"empty key", {{"", "v"}}},
        {"a good pair before a bad one", {{"a", "fine"}, {"b", "bad\r\n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLRequest request =
            BLSRequestFactory::putRequestWithUrlComponents(componentsOf("https://a.example.net/c"), 30);
        EXPECT_THROW(BLSRequestFactory::addMetadataToRequest(request, &c.metadata), platform::net::InvalidHeaderError);
        EXPECT_FALSE(hasLineBreakOrControl(request));
        EXPECT_FALSE(request.headers.contains("x-bs-meta-admin"));
        EXPECT_FALSE(request.headers.contains("x-bs-lease-id"));
    }
}

TEST(RequestFactory, AccessConditionHeadersOnePerField) {
    struct Case {
        const char* name;
        BLSAccessCondition condition;
        Headers target;
        Headers source;
    };
    const Case cases[] = {
        {"no condition", BLSAccessCondition(), {kVersion}, {kVersion}},
        {"if-match",
         BLSAccessCondition::makeWithIfMatchCondition("\"0x8D1\""),
         {kVersion, {"If-Match", "\"0x8D1\""}},
         {kVersion, {"x-bs-source-if-match", "\"0x8D1\""}}},
        {"if-none-match",
         BLSAccessCondition::makeWithIfNoneMatchCondition("*"),
         {kVersion, {"If-None-Match", "*"}},
         {kVersion, {"x-bs-source-if-none-match", "*"}}},
        {"if-modified-since as HTTP date",
         BLSAccessCondition::makeWithIfModifiedSinceCondition(kNewYear2000),
         {kVersion, {"If-Modified-Since", "Sat, 01 Jan 2000 00:00:00 GMT"}},
         {kVersion, {"x-bs-source-if-modified-since", "Sat, 01 Jan 2000 00:00:00 GMT"}}},
        {"if-unmodified-since as HTTP date",
         BLSAccessCondition::makeWithIfNotModifiedSinceCondition(kLeapDay2016),
         {kVersion, {"If-Unmodified-Since", "Mon, 29 Feb 2016 13:05:09 GMT"}},
         {kVersion, {"x-bs-source-if-unmodified-since", "Mon, 29 Feb 2016 13:05:09 GMT"}}},
        {"lease id is sent for the target only",
         BLSAccessCondition::makeWithLeaseId("lease-1"),
         {kVersion, {"x-bs-lease-id", "lease-1"}},
         {kVersion}},
        {"sequence number is left to page writes",
         BLSAccessCondition::makeWithIfSequenceNumberEqualTo(4),
         {kVersion},
         {kVersion}},
        {"max size is left to append blocks",
         BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(9),
         {kVersion},
         {kVersion}},
        {"append position is left to append blocks",
         BLSAccessCondition::makeWithIfAppendPositionEqualTo(9),
         {kVersion},
         {kVersion}},
    };
    const URLComponents components = componentsOf("https://a.example.net/c/b");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLRequest target = BLSRequestFactory::putRequestWithUrlComponents(components, 30);
        BLSRequestFactory::applyAccessConditionToRequest(target, &c.condition);
        EXPECT_EQ(headersOf(target), c.target);

        URLRequest source = BLSRequestFactory::putRequestWithUrlComponents(components, 30);
        BLSRequestFactory::applySourceAccessConditionToRequest(source, &c.condition);
        EXPECT_EQ(headersOf(source), c.source);
    }

    URLRequest untouched = BLSRequestFactory::getRequestWithUrlComponents(components, 30);
    BLSRequestFactory::applyAccessConditionToRequest(untouched, nullptr);
    BLSRequestFactory::applySourceAccessConditionToRequest(untouched, nullptr);
    BLSRequestFactory::applyLeaseIdToRequest(untouched, nullptr);
    EXPECT_EQ(headersOf(untouched), Headers{kVersion});
}

TEST(RequestFactory, AccessConditionOrderAndJoiningWithEarlierValues) {
    BLSAccessCondition condition = BLSAccessCondition::makeWithIfNoneMatchCondition("\"n\"");
    condition.setLeaseId("lease-9");
    URLRequest request = BLSRequestFactory::putRequestWithUrlComponents(componentsOf("https://a.example.net/c"), 30);
    request.setValue("\"first\"", "If-None-Match");
    BLSRequestFactory::applyAccessConditionToRequest(request, &condition);
    EXPECT_EQ(headersOf(request),
              (Headers{kVersion, {"If-None-Match", "\"first\",\"n\""}, {"x-bs-lease-id", "lease-9"}}));

    BLSAccessCondition matching = BLSAccessCondition::cloneWithEtag("\"m\"", &condition);
    URLRequest ordered = BLSRequestFactory::putRequestWithUrlComponents(componentsOf("https://a.example.net/c"), 30);
    BLSRequestFactory::applyAccessConditionToRequest(ordered, &matching);
    EXPECT_EQ(headersOf(ordered), (Headers{kVersion, {"If-Match", "\"m\""}, {"x-bs-lease-id", "lease-9"}}));
}

TEST(RequestFactory, ConditionTextWithLineBreaksNeverReachesAHeader) {
    struct Case {
        const char* name;
        BLSAccessCondition condition;
    };
    const std::string evil = "\"e\"\r\nx-bs-copy-source: https://evil.example.net/x";
    const Case cases[] = {
        {"if-match", BLSAccessCondition::makeWithIfMatchCondition(evil)},
        {"if-none-match", BLSAccessCondition::makeWithIfNoneMatchCondition(evil)},
        {"lease id", BLSAccessCondition::makeWithLeaseId("l\nx")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        URLRequest request =
            BLSRequestFactory::putRequestWithUrlComponents(componentsOf("https://a.example.net/c"), 30);
        EXPECT_THROW(BLSRequestFactory::applyAccessConditionToRequest(request, &c.condition),
                     platform::net::InvalidHeaderError);
        EXPECT_FALSE(hasLineBreakOrControl(request));
        EXPECT_FALSE(request.headers.contains("x-bs-copy-source"));
    }
    URLRequest source = BLSRequestFactory::putRequestWithUrlComponents(componentsOf("https://a.example.net/c"), 30);
    const BLSAccessCondition evilSource = BLSAccessCondition::makeWithIfMatchCondition(evil);
    EXPECT_THROW(BLSRequestFactory::applySourceAccessConditionToRequest(source, &evilSource),
                 platform::net::InvalidHeaderError);
    EXPECT_FALSE(hasLineBreakOrControl(source));
}

TEST(AccessCondition, EachMakerSetsOnlyItsOwnField) {
    const BLSAccessCondition none;
    EXPECT_FALSE(none.ifMatchETag() || none.ifNoneMatchETag() || none.ifModifiedSinceDate() ||
                 none.ifNotModifiedSinceDate() || none.leaseId() || none.sequenceNumber() || none.maxSize() ||
                 none.appendPosition());
    EXPECT_EQ(none.sequenceNumberOperator(), BLSSequenceNumberOperatorNone);

    struct Case {
        const char* name;
        BLSAccessCondition condition;
        int field;  // index into the list below
        BLSSequenceNumberOperator op;
    };
    const Case cases[] = {
        {"if-match", BLSAccessCondition::makeWithIfMatchCondition("e"), 0, BLSSequenceNumberOperatorNone},
        {"if-none-match", BLSAccessCondition::makeWithIfNoneMatchCondition("e"), 1, BLSSequenceNumberOperatorNone},
        {"if-modified-since", BLSAccessCondition::makeWithIfModifiedSinceCondition(kNewYear2000), 2,
         BLSSequenceNumberOperatorNone},
        {"if-not-modified-since", BLSAccessCondition::makeWithIfNotModifiedSinceCondition(kNewYear2000), 3,
         BLSSequenceNumberOperatorNone},
        {"lease id", BLSAccessCondition::makeWithLeaseId("l"), 4, BLSSequenceNumberOperatorNone},
        {"sequence number <=", BLSAccessCondition::makeWithIfSequenceNumberLessThanOrEqualTo(7), 5,
         BLSSequenceNumberOperatorLessThanOrEqual},
        {"sequence number <", BLSAccessCondition::makeWithIfSequenceNumberLessThan(7), 5,
         BLSSequenceNumberOperatorLessThan},
        {"sequence number ==", BLSAccessCondition::makeWithIfSequenceNumberEqualTo(7), 5,
         BLSSequenceNumberOperatorEqual},
        {"max size", BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(7), 6, BLSSequenceNumberOperatorNone},
        {"append position", BLSAccessCondition::makeWithIfAppendPositionEqualTo(7), 7, BLSSequenceNumberOperatorNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BLSAccessCondition& a = c.condition;
        const bool set[] = {a.ifMatchETag().has_value(),
                            a.ifNoneMatchETag().has_value(),
                            a.ifModifiedSinceDate().has_value(),
                            a.ifNotModifiedSinceDate().has_value(),
                            a.leaseId().has_value(),
                            a.sequenceNumber().has_value(),
                            a.maxSize().has_value(),
                            a.appendPosition().has_value()};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(set[i], i == c.field) << "field " << i;
        }
        EXPECT_EQ(a.sequenceNumberOperator(), c.op);
    }
    EXPECT_EQ(BLSAccessCondition::makeWithIfSequenceNumberLessThan(-3).sequenceNumber(), -3);
    EXPECT_EQ(BLSAccessCondition::makeWithIfModifiedSinceCondition(kLeapDay2016).ifModifiedSinceDate(), kLeapDay2016);
}

TEST(AccessCondition, CloneWithEtagKeepsOnlyTheLeaseId) {
    BLSAccessCondition original = BLSAccessCondition::makeWithIfNoneMatchCondition("\"none\"");
    original.setLeaseId("lease-7");
    original.setMaxSize(100);
    original.setAppendPosition(5);
    original.setSequenceNumberOperator(BLSSequenceNumberOperatorEqual);

    const BLSAccessCondition clone = BLSAccessCondition::cloneWithEtag("\"new\"", &original);
    EXPECT_EQ(clone.ifMatchETag(), "\"new\"");
    EXPECT_EQ(clone.leaseId(), "lease-7");
    EXPECT_FALSE(clone.ifNoneMatchETag().has_value());
    EXPECT_FALSE(clone.maxSize().has_value());
    EXPECT_FALSE(clone.appendPosition().has_value());
    EXPECT_EQ(clone.sequenceNumberOperator(), BLSSequenceNumberOperatorNone);

    const BLSAccessCondition dated = BLSAccessCondition::makeWithIfModifiedSinceCondition(kNewYear2000);
    const BLSAccessCondition fromDate = BLSAccessCondition::cloneWithEtag("\"d\"", &dated);
    EXPECT_FALSE(fromDate.ifModifiedSinceDate().has_value());
    EXPECT_FALSE(fromDate.leaseId().has_value());

    const BLSAccessCondition bare = BLSAccessCondition::cloneWithEtag("\"b\"", nullptr);
    EXPECT_EQ(bare.ifMatchETag(), "\"b\"");
    EXPECT_FALSE(bare.leaseId().has_value());

    const BLSAccessCondition noEtag = BLSAccessCondition::cloneWithEtag(std::nullopt, &original);
    EXPECT_FALSE(noEtag.ifMatchETag().has_value());
    EXPECT_EQ(noEtag.leaseId(), "lease-7");
}

TEST(RequestFactory, AppendToQuery) {
    struct Case {
        const char* name;
        std::optional<std::string> query;
        const char* append;
        const char* expected;
    };
    const Case cases[] = {
        {"no query", std::nullopt, "comp=list", "comp=list"},
        {"empty query counts as none", std::string(), "comp=list", "comp=list"},
        {"one item", std::string("restype=container"), "comp=list", "restype=container&comp=list"},
        {"signature query stays in front", std::string("sv=2016-03-14&sig=a%2Bb%3D"), "comp=block",
         "sv=2016-03-14&sig=a%2Bb%3D&comp=block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BLSRequestFactory::appendToQuery(c.query, c.append), c.expected);
    }
}
