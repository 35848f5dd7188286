#include "storage/BLSBlobRequestXML.h"

#include "storage/BLSErrors.h"
#include "storage/BLSListResponses.h"
#include "storage/BLSOperationContext.h"
#include "tests/storage/XmlTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

using xmltree::leaf;
using xmltree::node;
using xmltree::Node;

namespace {

// A context that keeps what it logs.
struct LoggingContext {
    BLSOperationContext context;
    std::vector<std::pair<BLSLogLevel, std::string>> lines;

    LoggingContext() {
        context.setLogLevel(BLSLogLevelDebug);
        context.setLogFunction([this](BLSLogLevel level, const std::string& line) { lines.emplace_back(level, line); });
    }
    bool logged(BLSLogLevel level, const std::string& line) const {
        for (const auto& entry : lines)
            if (entry.first == level && entry.second == line) return true;
        return false;
    }
};

// Whole seconds, which a BLSDate and a BLSWideDate both take as they are.
std::chrono::sys_seconds utc(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    return sys_days{std::chrono::year{year} / month / day} + hours{hour} + minutes{minute} + seconds{second};
}

const long* xmlReturnCode(const platform::Error& error) {
    return error.userInfoValue<long>(BLSErrorKey::XmlReturnCode);
}

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

}  // namespace

TEST(BlobRequestXml, BlockListNamesEachItemByItsMode) {
    struct Case {
        const char* name;
        std::vector<BLSBlockListItem> items;
        Node expected;
    };
    const std::vector<Case> cases = {
        {"latest then uncommitted",
         {{"one", BLSBlockListModeLatest}, {"two", BLSBlockListModeUncommitted}},
         node("BlockList", {leaf("Latest", "one"), leaf("Uncommitted", "two")})},
        {"every mode in list order, size not written",
         {{"c", BLSBlockListModeCommitted, 4096}, {"a", BLSBlockListModeLatest}, {"b", BLSBlockListModeCommitted}},
         node("BlockList", {leaf("Committed", "c"), leaf("Latest", "a"), leaf("Committed", "b")})},
        {"no items", {}, node("BlockList", {})},
        {"markup characters are escaped",
         {{"a<b>&\"c\"", BLSBlockListModeLatest}},
         node("BlockList", {leaf("Latest", "a<b>&\"c\"")})},
    };
    for (const Case& c : cases) {
        LoggingContext log;
        std::optional<platform::Error> error;
        auto body = BLSBlobRequestXML::createBlockListXMLFromArray(c.items, log.context, error);
        ASSERT_TRUE(body) << c.name;
        EXPECT_FALSE(error) << c.name;
        EXPECT_EQ(body->rfind(kDeclaration, 0), 0u) << c.name << ": " << *body;
        EXPECT_EQ(xmltree::parse(*body), c.expected) << c.name << ": " << *body;
    }
}

TEST(BlobRequestXml, BodiesAreUtf8AndNonAsciiTextRoundTrips) {
    const std::string blockID =
        "bl\xC3\xB6"
        "ck-\xE2\x82\xAC-\xF0\x9F\x98\x80";  // blöck-€-😀
    const std::string policyID =
        "Stra\xC3\x9F"
        "e";  // Straße
    LoggingContext log;
    std::optional<platform::Error> error;

    auto blocks =
        BLSBlobRequestXML::createBlockListXMLFromArray({{blockID, BLSBlockListModeLatest}}, log.context, error);
    ASSERT_TRUE(blocks);
    EXPECT_FALSE(error);
    EXPECT_EQ(xmltree::declaredEncoding(*blocks), "UTF-8");
    // The bytes are the UTF-8 bytes of the id, not a Latin-1 rendering.
    EXPECT_NE(blocks->find(blockID), std::string::npos) << *blocks;
    EXPECT_EQ(xmltree::parse(*blocks), node("BlockList", {leaf("Latest", blockID)}));

    BLSSharedAccessPolicy policy{policyID};
    policy.permissions = 1;
    auto policies = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions({{policyID, policy}}, log.context, error);
    ASSERT_TRUE(policies);
    EXPECT_FALSE(error);
    EXPECT_EQ(xmltree::declaredEncoding(*policies), "UTF-8");
    auto tree = xmltree::parse(*policies);
    ASSERT_TRUE(tree) << *policies;
    EXPECT_EQ(tree->children.at(0).children.at(0), leaf("Id", policyID));

    BLSServiceProperties properties;
    properties.defaultServiceVersion = "v\xC3\xA9";
    auto service = BLSBlobRequestXML::createServicePropertiesXML(properties, log.context, error);
    ASSERT_TRUE(service);
    EXPECT_EQ(xmltree::declaredEncoding(*service), "UTF-8");
    EXPECT_EQ(xmltree::parse(*service), node("StorageServiceProperties", {leaf("DefaultServiceVersion", "v\xC3\xA9")}));
}

TEST(BlobRequestXml, TextXmlCannotCarryIsAWriterFailure) {
    struct Case {
        const char* name;
        std::string blockID;
    };
    const std::vector<Case> cases = {
        {"invalid UTF-8 byte", "abc\xFF"},     {"truncated sequence", "abc\xE2\x82"}, {"overlong slash", "\xC0\xAF"},
        {"encoded surrogate", "\xED\xA0\x80"}, {"control character", "a\x01z"},       {"NUL", std::string("a\0z", 3)},
    };
    for (const Case& c : cases) {
        LoggingContext log;
        std::optional<platform::Error> error;
        auto body = BLSBlobRequestXML::createBlockListXMLFromArray(
            {{"fine", BLSBlockListModeLatest}, {c.blockID, BLSBlockListModeLatest}}, log.context, error);
        ASSERT_TRUE(error) << c.name;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::XMLCreationError)) << c.name;
        ASSERT_NE(xmlReturnCode(*error), nullptr) << c.name;
        EXPECT_LT(*xmlReturnCode(*error), 0) << c.name;
        EXPECT_TRUE(log.logged(BLSLogLevelError, "Error in generating XML.")) << c.name;
        // Writing went on: the text is still a document, without the bad id.
        ASSERT_TRUE(body) << c.name;
        EXPECT_EQ(xmltree::parse(*body), node("BlockList", {leaf("Latest", "fine")})) << c.name;
    }
}

TEST(BlobRequestXml, UnknownBlockModeRecordsAnError) {
    LoggingContext log;
    std::optional<platform::Error> error;
    auto body = BLSBlobRequestXML::createBlockListXMLFromArray(
        {{"a", BLSBlockListModeLatest}, {"b", static_cast<BLSBlockListMode>(7)}, {"c", BLSBlockListModeCommitted}},
        log.context, error);
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::XMLCreationError));
    EXPECT_TRUE(log.logged(BLSLogLevelError, "Error in generating XML block list."));
    ASSERT_TRUE(body);
    EXPECT_EQ(xmltree::parse(*body), node("BlockList", {leaf("Latest", "a"), leaf("Committed", "c")}));
}

TEST(BlobRequestXml, StoredPoliciesInKeyOrderWithEmptyTimesForNil) {
    BLSSharedAccessPolicy reader{"reader"};
    reader.permissions = 1 + 8 + 32;
    reader.sharedAccessStartTime = utc(2020, 1, 2, 3, 4, 5);
    reader.sharedAccessExpiryTime = utc(2021, 12, 31, 23, 59, 59);
    BLSSharedAccessPolicy all{"all"};
    all.permissions = 1 + 2 + 4 + 8 + 16 + 32;
    all.sharedAccessExpiryTime = utc(1999, 2, 28, 0, 0, 0);
    BLSSharedAccessPolicy none{"none"};

    LoggingContext log;
    std::optional<platform::Error> error;
    auto body = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions(
        {{"z-reader", reader}, {"a-all", all}, {"m-none", none}}, log.context, error);
    ASSERT_TRUE(body);
    EXPECT_FALSE(error);
    auto policy = [](const char* id, const char* start, const char* expiry, const char* letters) {
        return node("SignedIdentifier",
                    {leaf("Id", id), node("AccessPolicy", {leaf("Start", start), leaf("Expiry", expiry),
                                                           leaf("Permission", letters)})});
    };
    const Node expected =
        node("SignedIdentifiers", {
                                      policy("all", "", "1999-02-28T00:00:00Z", "racwdl"),
                                      policy("none", "", "", ""),
                                      policy("reader", "2020-01-02T03:04:05Z", "2021-12-31T23:59:59Z", "rwl"),
                                  });
    EXPECT_EQ(xmltree::parse(*body), expected) << *body;

    auto empty = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions({}, log.context, error);
    ASSERT_TRUE(empty);
    EXPECT_EQ(xmltree::parse(*empty), node("SignedIdentifiers", {}));
}

TEST(BlobRequestXml, StoredPoliciesReadAreWrittenBackUnchanged) {
    // "Never" as services write it, and a start before any system clock
    // value: both once came back as other years.
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SignedIdentifiers><SignedIdentifier><Id>keep</Id>"
        "<AccessPolicy><Start>1601-01-01T00:00:00Z</Start><Expiry>9999-12-31T23:59:59Z</Expiry>"
        "<Permission>rl</Permission></AccessPolicy></SignedIdentifier></SignedIdentifiers>\n";
    LoggingContext log;
    std::optional<platform::Error> error;
    auto read = BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
        {reinterpret_cast<const std::uint8_t*>(document.data()), document.size()}, log.context, error);
    ASSERT_TRUE(read);
    const BLSSharedAccessPolicy& policy = read->storedPolicies.at("keep");
    EXPECT_EQ(policy.sharedAccessStartTime, utc(1601, 1, 1, 0, 0, 0));
    EXPECT_EQ(policy.sharedAccessExpiryTime, utc(9999, 12, 31, 23, 59, 59));

    auto written = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions(read->storedPolicies, log.context, error);
    ASSERT_TRUE(written);
    EXPECT_FALSE(error);
    EXPECT_EQ(*written, document);
}

TEST(BlobRequestXml, UnwritablePolicyValuesRecordAnError) {
    struct Case {
        const char* name;
        BLSSharedAccessPolicy policy;
    };
    BLSSharedAccessPolicy outOfRange{"p"};
    outOfRange.permissions = 256;
    const std::vector<Case> cases = {
        {"permissions out of range", outOfRange},
        {"no identifier", BLSSharedAccessPolicy{}},
    };
    for (const Case& c : cases) {
        LoggingContext log;
        std::optional<platform::Error> error;
        auto body = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions({{"p", c.policy}}, log.context, error);
        ASSERT_TRUE(error) << c.name;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::XMLCreationError)) << c.name;
        ASSERT_NE(xmlReturnCode(*error), nullptr) << c.name;
        EXPECT_TRUE(log.logged(BLSLogLevelError, "Error in generating XML.")) << c.name;
        EXPECT_TRUE(body) << c.name;
    }
}

TEST(BlobRequestXml, ServicePropertiesLayout) {
    struct Case {
        const char* name;
        BLSServiceProperties properties;
        Node expected;
    };
    std::vector<Case> cases;
    {
        BLSServiceProperties p;
        p.hourMetrics = BLSMetricsProperties{"1.0", BLSMetricsLevelService, std::nullopt};
        cases.push_back(
            {"only hour metrics at level 1 without retention", p,
             node("StorageServiceProperties",
                  {node("HourMetrics", {leaf("Version", "1.0"), leaf("Enabled", "true"), leaf("IncludeAPIs", "false"),
                                        node("RetentionPolicy", {leaf("Enabled", "false")})})})});
    }
    {
        BLSServiceProperties p;
        p.logging = BLSLoggingProperties{"1.0", BLSLoggingOperationsRead | BLSLoggingOperationsDelete, 7};
        cases.push_back(
            {"logging read and delete with 7 days", p,
             node("StorageServiceProperties",
                  {node("Logging",
                        {leaf("Version", "1.0"), leaf("Delete", "true"), leaf("Read", "true"), leaf("Write", "false"),
                         node("RetentionPolicy", {leaf("Enabled", "true"), leaf("Days", "7")})})})});
    }
    {
        BLSServiceProperties p;
        p.minuteMetrics = BLSMetricsProperties{"2.0", BLSMetricsLevelDisabled, 365};
        p.corsRules = std::vector<BLSCorsRule>{};
        cases.push_back(
            {"disabled minute metrics have no IncludeAPIs; empty rules give an empty Cors", p,
             node("StorageServiceProperties",
                  {node("MinuteMetrics", {leaf("Version", "2.0"), leaf("Enabled", "false"),
                                          node("RetentionPolicy", {leaf("Enabled", "true"), leaf("Days", "365")})}),
                   node("Cors", {})})});
    }
    {
        BLSServiceProperties p;
        p.defaultServiceVersion = "2016-03-14";
        p.hourMetrics = BLSMetricsProperties{"1.0", BLSMetricsLevelServiceAndAPI, 1};
        p.logging = BLSLoggingProperties{};
        BLSCorsRule first;
        first.allowedOrigins = {"http://a.example", "http://b.example"};
        first.allowedHttpMethods = BLSCorsHttpMethodsGet | BLSCorsHttpMethodsHead | BLSCorsHttpMethodsPut;
        first.maxAgeInSeconds = -5;
        first.exposedHeaders = {"x-bs-meta-*"};
        BLSCorsRule second;
        second.allowedOrigins = {"*"};
        second.allowedHttpMethods = BLSCorsHttpMethodsOptions;
        second.maxAgeInSeconds = 3600;
        second.allowedHeaders = {"a", "b", "c"};
        p.corsRules = std::vector<BLSCorsRule>{first, second};
        auto rule = [](const char* origins, const char* methods, const char* age, const char* exposed,
                       const char* allowed) {
            return node("CorsRule",
                        {leaf("AllowedOrigins", origins), leaf("AllowedMethods", methods), leaf("MaxAgeInSeconds", age),
                         leaf("ExposedHeaders", exposed), leaf("AllowedHeaders", allowed)});
        };
        cases.push_back(
            {"every part in the fixed order", p,
             node("StorageServiceProperties",
                  {node("Logging", {leaf("Version", "1.0"), leaf("Delete", "false"), leaf("Read", "false"),
                                    leaf("Write", "false"), node("RetentionPolicy", {leaf("Enabled", "false")})}),
                   node("HourMetrics", {leaf("Version", "1.0"), leaf("Enabled", "true"), leaf("IncludeAPIs", "true"),
                                        node("RetentionPolicy", {leaf("Enabled", "true"), leaf("Days", "1")})}),
                   node("Cors", {rule("http://a.example,http://b.example", "GET,PUT,HEAD", "-5", "x-bs-meta-*", ""),
                                 rule("*", "OPTIONS", "3600", "", "a,b,c")}),
                   leaf("DefaultServiceVersion", "2016-03-14")})});
    }
    cases.push_back({"nothing set", BLSServiceProperties{}, node("StorageServiceProperties", {})});

    for (const Case& c : cases) {
        LoggingContext log;
        std::optional<platform::Error> error;
        auto body = BLSBlobRequestXML::createServicePropertiesXML(c.properties, log.context, error);
        ASSERT_TRUE(body) << c.name;
        EXPECT_FALSE(error) << c.name;
        EXPECT_EQ(body->rfind(kDeclaration, 0), 0u) << c.name;
        EXPECT_EQ(xmltree::parse(*body), c.expected) << c.name << ": " << *body;
    }
}

TEST(BlobRequestXml, CorsRuleWithoutOriginsOrMethodsIsUnwritable) {
    BLSCorsRule noOrigins;
    noOrigins.allowedHttpMethods = BLSCorsHttpMethodsGet;
    BLSCorsRule noMethods;
    noMethods.allowedOrigins = {"*"};
    for (const BLSCorsRule& rule : {noOrigins, noMethods}) {
        BLSServiceProperties properties;
        properties.corsRules = std::vector<BLSCorsRule>{rule};
        LoggingContext log;
        std::optional<platform::Error> error;
        auto body = BLSBlobRequestXML::createServicePropertiesXML(properties, log.context, error);
        EXPECT_TRUE(body);
        ASSERT_TRUE(error);
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::XMLCreationError));
        EXPECT_NE(xmlReturnCode(*error), nullptr);
    }
}

TEST(BlobRequestXml, CorsMethodNamesInWritingOrder) {
    struct Case {
        BLSCorsHttpMethods methods;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {0, std::nullopt},      {1 + 2 + 8, "GET,PUT,HEAD"},
        {256 + 1, "GET,MERGE"}, {16 + 64 + 128, "DELETE,CONNECT,OPTIONS"},
        {4 + 32, "POST,TRACE"}, {511, "GET,PUT,HEAD,POST,MERGE,TRACE,DELETE,CONNECT,OPTIONS"},
        {512, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BLSBlobRequestXML::convertCorsHttpMethodToString(c.methods), c.expected) << c.methods;
}

TEST(BlobRequestXml, FirstFailedWriterCallIsTheOneRecorded) {
    LoggingContext log;
    std::optional<platform::Error> error;
    BLSBlobRequestXML::checkReturnCodeAndCreateErrorWithReturnCode(0, log.context, error);
    BLSBlobRequestXML::checkReturnCodeAndCreateErrorWithReturnCode(42, log.context, error);
    EXPECT_FALSE(error);
    EXPECT_TRUE(log.lines.empty());

    BLSBlobRequestXML::checkReturnCodeAndCreateErrorWithReturnCode(-3, log.context, error);
    BLSBlobRequestXML::checkReturnCodeAndCreateErrorWithReturnCode(-1, log.context, error);
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::XMLCreationError));
    ASSERT_NE(xmlReturnCode(*error), nullptr);
    EXPECT_EQ(*xmlReturnCode(*error), -3);
    EXPECT_TRUE(log.logged(BLSLogLevelError, "Error in generating XML."));

    // Parts written into a writer that does not exist fail cleanly.
    std::optional<platform::Error> partError;
    BLSBlobRequestXML::createRetentionPolicyXML(5, nullptr, log.context, partError);
    ASSERT_TRUE(partError);
    EXPECT_TRUE(BLSIsError(*partError, BLSErrorCode::XMLCreationError));
}
