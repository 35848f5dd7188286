#include "storage/BLSServiceProperties.h"

#include "storage/BLSBlobRequestXML.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> propertyBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<BLSServiceProperties> parse(const std::string& document, std::optional<platform::Error>& error) {
    BLSOperationContext context;
    return BLSServicePropertiesResponseParser::parseDownloadServicePropertiesResponseWithData(propertyBytes(document),
                                                                                              context, error);
}

std::optional<BLSServiceProperties> parse(const std::string& document) {
    std::optional<platform::Error> error;
    auto properties = parse(document, error);
    EXPECT_FALSE(error) << document;
    return properties;
}

const std::string kReply = R"(<?xml version="1.0" encoding="utf-8"?>
<StorageServiceProperties>
  <Logging>
    <Version>1.0</Version>
    <Delete>false</Delete>
    <Read>true</Read>
    <Write>true</Write>
    <RetentionPolicy><Enabled>true</Enabled><Days>7</Days></RetentionPolicy>
  </Logging>
  <HourMetrics>
    <Version>1.0</Version>
    <Enabled>true</Enabled>
    <IncludeAPIs>true</IncludeAPIs>
    <RetentionPolicy><Enabled>false</Enabled><Days>30</Days></RetentionPolicy>
  </HourMetrics>
  <MinuteMetrics>
    <Version>1.0</Version>
    <Enabled>false</Enabled>
    <RetentionPolicy><Enabled>false</Enabled></RetentionPolicy>
  </MinuteMetrics>
  <Cors>
    <CorsRule>
      <AllowedOrigins>http://a.example, http://b.example</AllowedOrigins>
      <AllowedMethods>GET,PUT,MERGE</AllowedMethods>
      <MaxAgeInSeconds>500</MaxAgeInSeconds>
      <ExposedHeaders>x-bs-meta-data*,x-bs-meta-target*</ExposedHeaders>
      <AllowedHeaders>x-bs-meta-abc</AllowedHeaders>
    </CorsRule>
    <CorsRule>
      <AllowedOrigins>*</AllowedOrigins>
      <AllowedMethods>DELETE,FETCH,OPTIONS</AllowedMethods>
      <MaxAgeInSeconds>-1</MaxAgeInSeconds>
      <ExposedHeaders/>
      <AllowedHeaders></AllowedHeaders>
    </CorsRule>
  </Cors>
  <DefaultServiceVersion>2016-03-14</DefaultServiceVersion>
</StorageServiceProperties>)";

}  // namespace

TEST(ServiceProperties, ReadsEverySection) {
    auto properties = parse(kReply);
    ASSERT_TRUE(properties);

    ASSERT_TRUE(properties->logging);
    EXPECT_EQ(properties->logging->version, "1.0");
    EXPECT_EQ(properties->logging->logOperationTypes, 3u);
    EXPECT_EQ(properties->logging->retentionIntervalInDays, 7);

    ASSERT_TRUE(properties->hourMetrics);
    EXPECT_EQ(properties->hourMetrics->metricsLevel, BLSMetricsLevelServiceAndAPI);
    EXPECT_FALSE(properties->hourMetrics->retentionIntervalInDays) << "Days without Enabled true is no retention";

    ASSERT_TRUE(properties->minuteMetrics);
    EXPECT_EQ(properties->minuteMetrics->metricsLevel, BLSMetricsLevelDisabled);
    EXPECT_FALSE(properties->minuteMetrics->retentionIntervalInDays);

    ASSERT_TRUE(properties->corsRules);
    ASSERT_EQ(properties->corsRules->size(), 2u);
    const BLSCorsRule& first = (*properties->corsRules)[0];
    EXPECT_EQ(first.allowedOrigins, (std::vector<std::string>{"http://a.example", " http://b.example"}))
        << "blanks after commas are kept";
    EXPECT_EQ(first.allowedHttpMethods, 265u);
    EXPECT_EQ(first.maxAgeInSeconds, 500);
    EXPECT_EQ(first.exposedHeaders, (std::vector<std::string>{"x-bs-meta-data*", "x-bs-meta-target*"}));
    EXPECT_EQ(first.allowedHeaders, (std::vector<std::string>{"x-bs-meta-abc"}));
    const BLSCorsRule& second = (*properties->corsRules)[1];
    EXPECT_EQ(second.allowedOrigins, (std::vector<std::string>{"*"}));
    EXPECT_EQ(second.allowedHttpMethods, 16u + 64u) << "an unknown method adds no bit";
    EXPECT_EQ(second.maxAgeInSeconds, -1);
    EXPECT_TRUE(second.exposedHeaders.empty());
    EXPECT_TRUE(second.allowedHeaders.empty());

    EXPECT_EQ(properties->defaultServiceVersion, "2016-03-14");
}

TEST(ServiceProperties, MetricsLevelsAndMissingParts) {
    struct Case {
        const char* name;
        const char* minuteMetrics;
        BLSMetricsLevel expected;
    };
    const std::vector<Case> cases = {
        {"disabled, no IncludeAPIs", "<Version>1.0</Version><Enabled>false</Enabled>", BLSMetricsLevelDisabled},
        {"enabled without APIs", "<Version>1.0</Version><Enabled>true</Enabled><IncludeAPIs>false</IncludeAPIs>",
         BLSMetricsLevelService},
        {"enabled with APIs", "<Version>1.0</Version><Enabled>true</Enabled><IncludeAPIs>true</IncludeAPIs>",
         BLSMetricsLevelServiceAndAPI},
        {"APIs are not lowered by a later false", "<IncludeAPIs>true</IncludeAPIs><IncludeAPIs>false</IncludeAPIs>",
         BLSMetricsLevelServiceAndAPI},
    };
    for (const Case& c : cases) {
        auto properties = parse(std::string("<StorageServiceProperties><MinuteMetrics>") + c.minuteMetrics +
                                "</MinuteMetrics></StorageServiceProperties>");
        ASSERT_TRUE(properties) << c.name;
        ASSERT_TRUE(properties->minuteMetrics) << c.name;
        EXPECT_EQ(properties->minuteMetrics->metricsLevel, c.expected) << c.name;
        EXPECT_FALSE(properties->hourMetrics) << c.name;
        EXPECT_FALSE(properties->logging) << c.name;
        EXPECT_FALSE(properties->corsRules) << c.name << ": no Cors element, no rules";
        EXPECT_FALSE(properties->defaultServiceVersion) << c.name;
    }

    auto emptyCors = parse("<StorageServiceProperties><Cors/></StorageServiceProperties>");
    ASSERT_TRUE(emptyCors);
    ASSERT_TRUE(emptyCors->corsRules) << "an empty Cors element gives an empty list, not none";
    EXPECT_TRUE(emptyCors->corsRules->empty());

    auto childlessRule = parse("<StorageServiceProperties><Cors><CorsRule/></Cors></StorageServiceProperties>");
    ASSERT_TRUE(childlessRule);
    ASSERT_TRUE(childlessRule->corsRules);
    EXPECT_TRUE(childlessRule->corsRules->empty()) << "a rule without children is skipped";
}

TEST(ServiceProperties, RetentionIsReadAfreshForEveryPolicy) {
    struct Case {
        const char* name;
        std::string body;
        std::optional<std::int64_t> logging, hour, minute;
    };
    const std::vector<Case> cases = {
        {"metrics without Days after logging with Days",
         "<Logging><Version>1.0</Version><RetentionPolicy><Enabled>true</Enabled><Days>7</Days></RetentionPolicy>"
         "</Logging><HourMetrics><Version>1.0</Version><RetentionPolicy><Enabled>true</Enabled></RetentionPolicy>"
         "</HourMetrics>",
         7, std::nullopt, std::nullopt},
        {"enabled flag does not carry over either",
         "<HourMetrics><Version>1.0</Version><RetentionPolicy><Enabled>true</Enabled><Days>3</Days>"
         "</RetentionPolicy></HourMetrics><MinuteMetrics><Version>1.0</Version><RetentionPolicy><Days>9</Days>"
         "</RetentionPolicy></MinuteMetrics>",
         std::nullopt, 3, std::nullopt},
        {"a policy that opens its section belongs to that section",
         "<HourMetrics><Version>1.0</Version><RetentionPolicy><Enabled>true</Enabled><Days>1</Days>"
         "</RetentionPolicy></HourMetrics><MinuteMetrics><RetentionPolicy><Enabled>true</Enabled><Days>2</Days>"
         "</RetentionPolicy><Version>1.0</Version></MinuteMetrics>",
         std::nullopt, 1, 2},
        {"disabled with Days",
         "<Logging><RetentionPolicy><Enabled>false</Enabled><Days>7</Days></RetentionPolicy></Logging>", std::nullopt,
         std::nullopt, std::nullopt},
        {"Days before Enabled",
         "<Logging><RetentionPolicy><Days>5</Days><Enabled>true</Enabled></RetentionPolicy></Logging>", 5, std::nullopt,
         std::nullopt},
    };
    for (const Case& c : cases) {
        auto properties = parse("<StorageServiceProperties>" + c.body + "</StorageServiceProperties>");
        ASSERT_TRUE(properties) << c.name;
        EXPECT_EQ(properties->logging ? properties->logging->retentionIntervalInDays : std::nullopt, c.logging)
            << c.name;
        EXPECT_EQ(properties->hourMetrics ? properties->hourMetrics->retentionIntervalInDays : std::nullopt, c.hour)
            << c.name;
        EXPECT_EQ(properties->minuteMetrics ? properties->minuteMetrics->retentionIntervalInDays : std::nullopt,
                  c.minute)
            << c.name;
    }
}

TEST(ServiceProperties, CorsMethodNames) {
    struct Case {
        const char* text;
        BLSCorsHttpMethods bit;
    };
    const std::vector<Case> cases = {
        {"GET", 1},       {"HEAD", 2},    {"POST", 4}, {"PUT", 8},  {"DELETE", 16}, {"TRACE", 32}, {"OPTIONS", 64},
        {"CONNECT", 128}, {"MERGE", 256}, {"get", 0},  {" GET", 0}, {"", 0},        {"PATCH", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BLSServicePropertiesResponseParser::convertStringToCorsHttpMethod(c.text), c.bit) << c.text;
}

TEST(ServiceProperties, HostileRepliesFailWithCode6) {
    std::string deep = "<StorageServiceProperties>";
    for (int i = 0; i < 400; ++i) deep += "<Cors>";
    for (int i = 0; i < 400; ++i) deep += "</Cors>";
    deep += "</StorageServiceProperties>";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"40-digit MaxAgeInSeconds",
         "<StorageServiceProperties><Cors><CorsRule><MaxAgeInSeconds>1234567890123456789012345678901234567890"
         "</MaxAgeInSeconds></CorsRule></Cors></StorageServiceProperties>"},
        {"MaxAgeInSeconds beyond 32 bits",
         "<StorageServiceProperties><Cors><CorsRule><MaxAgeInSeconds>2147483648</MaxAgeInSeconds></CorsRule>"
         "</Cors></StorageServiceProperties>"},
        {"negative Days",
         "<StorageServiceProperties><Logging><RetentionPolicy><Enabled>true</Enabled><Days>-7</Days>"
         "</RetentionPolicy></Logging></StorageServiceProperties>"},
        {"fractional Days",
         "<StorageServiceProperties><Logging><RetentionPolicy><Days>7.5</Days></RetentionPolicy></Logging>"
         "</StorageServiceProperties>"},
        {"mismatched end tag", "<StorageServiceProperties><Logging></HourMetrics></StorageServiceProperties>"},
        {"truncated", "<StorageServiceProperties><Logging><Version>1.0"},
        {"nested too deep", deep},
        {"empty", ""},
    };
    for (const auto& [name, document] : cases) {
        std::optional<platform::Error> error;
        EXPECT_FALSE(parse(document, error)) << name;
        ASSERT_TRUE(error) << name;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ParseError)) << name;
    }
}

TEST(ServiceProperties, WrittenPropertiesReadBackEqual) {
    std::vector<std::pair<const char*, BLSServiceProperties>> cases;
    {
        BLSServiceProperties p;
        p.logging = BLSLoggingProperties{
            "1.0", BLSLoggingOperationsRead | BLSLoggingOperationsWrite | BLSLoggingOperationsDelete, 365};
        p.hourMetrics = BLSMetricsProperties{"1.0", BLSMetricsLevelServiceAndAPI, 10};
        p.minuteMetrics = BLSMetricsProperties{"1.0", BLSMetricsLevelService, std::nullopt};
        BLSCorsRule rule;
        rule.allowedOrigins = {"http://a.example", " http://b.example"};
        rule.allowedHttpMethods = 511;
        rule.maxAgeInSeconds = -3600;
        rule.exposedHeaders = {"x-bs-meta-*"};
        rule.allowedHeaders = {"a", "b"};
        BLSCorsRule minimal;
        minimal.allowedOrigins = {"*"};
        minimal.allowedHttpMethods = BLSCorsHttpMethodsGet;
        p.corsRules = std::vector<BLSCorsRule>{rule, minimal};
        p.defaultServiceVersion = "2016-03-14";
        cases.emplace_back("everything set", p);
    }
    {
        BLSServiceProperties p;
        p.logging = BLSLoggingProperties{"2.0", BLSLoggingOperationsNone, std::nullopt};
        p.minuteMetrics = BLSMetricsProperties{"1.0", BLSMetricsLevelDisabled, 0};
        p.corsRules = std::vector<BLSCorsRule>{};
        cases.emplace_back("nothing logged, disabled metrics with zero days, no rules", p);
    }
    {
        BLSServiceProperties p;
        p.defaultServiceVersion = "v\xC3\xA9rsion <&>";
        cases.emplace_back("only a version needing escapes", p);
    }
    cases.emplace_back("empty", BLSServiceProperties{});

    for (const auto& [name, properties] : cases) {
        BLSOperationContext context;
        std::optional<platform::Error> error;
        auto body = BLSBlobRequestXML::createServicePropertiesXML(properties, context, error);
        ASSERT_TRUE(body) << name;
        ASSERT_FALSE(error) << name;
        auto readBack = parse(*body);
        ASSERT_TRUE(readBack) << name << ": " << *body;
        EXPECT_TRUE(*readBack == properties) << name << ": " << *body;
    }
}
