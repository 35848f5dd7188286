// Shared access signatures: letter codes, the texts that are signed (with
// signatures computed by openssl), and the SAS query.

#include "storage/BLSSharedAccessSignatureHelper.h"

#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Helper = BLSSharedAccessSignatureHelper;
using Clock = std::chrono::system_clock;

// Key bytes 00 01 02 ... 1f (hexkey:000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f).
constexpr const char* kKeyBase64 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";

Clock::time_point at(long long epochSeconds) { return Clock::time_point(std::chrono::seconds(epochSeconds)); }

struct LogLine {
    BLSLogLevel level;
    std::string message;
};

// Everything logged on the operationless context from now on.
std::vector<LogLine>& logged() {
    static std::vector<LogLine> lines;
    static bool installed = [] {
        auto& context = BLSUtil::operationlessContext();
        context->setLogLevel(BLSLogLevelDebug);
        context->setLogFunction([](BLSLogLevel level, const std::string& message) {
            lines.push_back({level, message});
        });
        return true;
    }();
    (void)installed;
    return lines;
}

std::vector<std::string> errorsLogged() {
    std::vector<std::string> errors;
    for (const auto& line : logged()) {
        if (line.level == BLSLogLevelError) errors.push_back(line.message);
    }
    return errors;
}

bool isCode1(const std::optional<platform::Error>& error) {
    return error && BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState);
}

}  // namespace

TEST(SharedAccessSignature, LetterCodes) {
    std::optional<platform::Error> error;
    EXPECT_EQ(Helper::stringFromPermissions(1 + 8 + 32, error), "rwl");
    EXPECT_EQ(Helper::stringFromPermissions(63, error), "racwdl");
    EXPECT_EQ(Helper::stringFromPermissions(0, error), "");
    EXPECT_EQ(Helper::stringFromPermissions(64 + 128 + 2, error), "a");  // bits 64 and 128 write nothing
    EXPECT_EQ(Helper::stringFromServices(1, error), "b");
    EXPECT_EQ(Helper::stringFromServices(15, error), "bfqt");
    EXPECT_EQ(Helper::stringFromResourceTypes(2 + 4, error), "co");
    EXPECT_EQ(Helper::stringFromResourceTypes(8 + 1, error), "s");
    EXPECT_EQ(Helper::stringFromProtocols(0, error), "");
    EXPECT_EQ(Helper::stringFromProtocols(1, error), "https,http");
    EXPECT_EQ(Helper::stringFromProtocols(2, error), "https");
    EXPECT_FALSE(error);

    EXPECT_EQ(Helper::emptyIfNilString(std::nullopt), "");
    EXPECT_EQ(Helper::emptyIfNilString(std::string("x")), "x");
    EXPECT_EQ(BLSSharedAccessIPRange::singleAddress("168.1.5.60").rangeString(), "168.1.5.60");
    EXPECT_EQ(BLSSharedAccessIPRange::range("168.1.5.60", "168.1.5.70").rangeString(), "168.1.5.60-168.1.5.70");
}

TEST(SharedAccessSignature, OutOfRangeValuesAreRefused) {
    struct Case {
        const char* name;
        std::function<std::optional<std::string>(std::optional<platform::Error>&)> convert;
        const char* message;
    };
    const Case cases[] = {
        {"permissions 256", [](auto& e) { return Helper::stringFromPermissions(256, e); },
         "Unrecognized permissions argument."},
        {"services 16", [](auto& e) { return Helper::stringFromServices(16, e); }, "Unrecognized services argument."},
        {"resource types 16", [](auto& e) { return Helper::stringFromResourceTypes(16, e); },
         "Unrecognized resource types argument."},
        {"protocols 3", [](auto& e) { return Helper::stringFromProtocols(3, e); },
         "Unrecognized protocol restriction."},
        {"protocols -1", [](auto& e) { return Helper::stringFromProtocols(-1, e); },
         "Unrecognized protocol restriction."},
    };
    for (const Case& c : cases) {
        logged().clear();
        std::optional<platform::Error> error;
        EXPECT_FALSE(c.convert(error)) << c.name;
        EXPECT_TRUE(isCode1(error)) << c.name;
        EXPECT_EQ(errorsLogged(), std::vector<std::string>{c.message}) << c.name;
    }

    // With an error already held the letter conversions stop at once; the
    // protocol conversion logs but keeps the earlier error.
    std::optional<platform::Error> held = platform::Error("earlier", 5);
    EXPECT_FALSE(Helper::stringFromPermissions(1, held));
    EXPECT_FALSE(Helper::stringFromServices(1, held));
    EXPECT_FALSE(Helper::stringFromResourceTypes(1, held));
    EXPECT_FALSE(Helper::stringFromProtocols(7, held));
    EXPECT_EQ(held->domain(), "earlier");

    // The SAS query is not built.
    std::optional<platform::Error> error;
    BLSSharedAccessAccountParameters parameters;
    parameters.permissions = 256;
    EXPECT_FALSE(Helper::sharedAccessSignatureForAccountWithParameters(parameters, std::string("sig"), error));
    EXPECT_TRUE(isCode1(error));
}

TEST(SharedAccessSignature, PermissionLettersParse) {
    struct Case {
        const char* text;
        BLSSharedAccessPermissions expected;
        bool fails;
    };
    const Case cases[] = {
        {"rwdl", 57, false},
        {"ldwr", 57, false},
        {"racwdl", 63, false},
        {"", 0, false},
        {"rr", 1, false},
        // An unknown letter grants nothing at all.
        {"x", 0, true},
        {"rx", 0, true},
        {"rwdlX", 0, true},
        {"R", 0, true},
    };
    for (const Case& c : cases) {
        logged().clear();
        std::optional<platform::Error> error;
        EXPECT_EQ(Helper::permissionsFromString(c.text, error), c.expected) << c.text;
        EXPECT_EQ(isCode1(error), c.fails) << c.text;
        const std::vector<std::string> expectedLog =
            c.fails ? std::vector<std::string>{"Unrecognized permissions character."} : std::vector<std::string>{};
        EXPECT_EQ(errorsLogged(), expectedLog) << c.text;
    }
}

TEST(SharedAccessSignature, AccountSignature) {
    BLSStorageCredentials credentials("a", kKeyBase64);
    BLSSharedAccessAccountParameters parameters;
    parameters.permissions = 1;
    parameters.services = 1;
    parameters.resourceTypes = 4;

    logged().clear();
    std::optional<platform::Error> error;
    auto signature =
        Helper::sharedAccessSignatureHashForAccountWithParameters(parameters, std::string("a"), &credentials, error);
    ASSERT_FALSE(error);
    // printf '%s' $'a\nr\nb\no\n\n\n\n\n2016-03-14\n'
    //   | openssl dgst -sha256 -mac HMAC -macopt hexkey:000102...1f -binary | base64
    EXPECT_EQ(signature, "7X7kg3sNhXodvwzdoVDOZxweNl56Ft7UHXaAqFK1YZA=");
    bool sawText = false;
    for (const auto& line : logged()) {
        sawText |= line.level == BLSLogLevelInfo && line.message == "String To Sign:\na\nr\nb\no\n\n\n\n\n2016-03-14\n";
    }
    EXPECT_TRUE(sawText);

    // Every field in its line.
    parameters.permissions = 1 + 32;
    parameters.services = 1 + 2;
    parameters.resourceTypes = 1 + 2 + 4;
    parameters.sharedAccessStartTime = at(1457913600);
    parameters.sharedAccessExpiryTime = at(1458000000);
    parameters.ipAddressOrRange = BLSSharedAccessIPRange::range("168.1.5.60", "168.1.5.70");
    parameters.protocols = 2;
    logged().clear();
    ASSERT_TRUE(
        Helper::sharedAccessSignatureHashForAccountWithParameters(parameters, std::string("a"), &credentials, error));
    ASSERT_FALSE(logged().empty());
    EXPECT_EQ(logged().back().message,
              "String To Sign:\na\nrl\nbf\nsco\n2016-03-14T00:00:00Z\n2016-03-15T00:00:00Z\n168.1.5.60-168.1.5.70\n"
              "https\n2016-03-14\n");
}

TEST(SharedAccessSignature, BlobSignature) {
    BLSSharedAccessBlobParameters parameters;
    parameters.permissions = 1 + 32;
    parameters.sharedAccessStartTime = at(1457913600);
    parameters.sharedAccessExpiryTime = at(1458000000);
    parameters.ipAddressOrRange = BLSSharedAccessIPRange::range("168.1.5.60", "168.1.5.70");
    parameters.protocols = 2;
    parameters.headers.cacheControl = "no-cache";
    parameters.headers.contentLanguage = "en";
    parameters.headers.contentType = "application/octet-stream";

    std::optional<platform::Error> error;
    EXPECT_EQ(Helper::sharedAccessSignatureStringToSignWithPermissions(
                  parameters.permissions, parameters.sharedAccessStartTime, parameters.sharedAccessExpiryTime,
                  std::string("/blob/acct/layouts/plan.vkm"), std::nullopt, parameters.ipAddressOrRange,
                  parameters.protocols, error),
              "rl\n2016-03-14T00:00:00Z\n2016-03-15T00:00:00Z\n/blob/acct/layouts/plan.vkm\n\n168.1.5.60-168.1.5.70\n"
              "https\n2016-03-14");

    auto client =
        std::make_shared<BLSCloudBlobClient>(BLSStorageUri(platform::net::URL::parse("https://acct.blob.example.net")),
                                             std::make_shared<BLSStorageCredentials>("acct", kKeyBase64));
    // printf '%s' $'rl\n2016-03-14T00:00:00Z\n2016-03-15T00:00:00Z\n/blob/acct/layouts/plan.vkm\n\n
    //   168.1.5.60-168.1.5.70\nhttps\n2016-03-14\nno-cache\n\n\nen\napplication/octet-stream' (one line)
    //   | openssl dgst -sha256 -mac HMAC -macopt hexkey:000102...1f -binary | base64
    EXPECT_EQ(Helper::sharedAccessSignatureHashForBlobWithParameters(parameters, "/blob/acct/layouts/plan.vkm",
                                                                     client.get(), error),
              "exrC25rTefEBDQrTyZI2aC1ryQ5esfnJ25moDhMFoTo=");
    EXPECT_FALSE(error);
}

TEST(SharedAccessSignature, MissingArgumentsAreRefused) {
    BLSStorageCredentials key("a", kKeyBase64);
    auto sas = BLSStorageCredentials::makeWithSASToken("sv=2016-03-14&sig=x");
    struct Case {
        const char* name;
        std::function<bool(std::optional<platform::Error>&)> call;  // true when something was returned
        const char* message;
    };
    const Case cases[] = {
        {"no signature",
         [](auto& e) { return Helper::sharedAccessSignatureForAccountWithParameters({}, std::nullopt, e).has_value(); },
         "Missing signature argument."},
        {"no resource type",
         [](auto& e) {
             return Helper::sharedAccessSignatureForBlobWithParameters({}, std::nullopt, std::string("s"), e)
                 .has_value();
         },
         "Missing resourceType argument."},
        {"no account name",
         [&](auto& e) {
             return Helper::sharedAccessSignatureHashForAccountWithParameters({}, std::nullopt, &key, e).has_value();
         },
         "Missing account name argument."},
        {"no resource",
         [](auto& e) {
             return Helper::sharedAccessSignatureStringToSignWithPermissions(
                        1, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, e)
                 .has_value();
         },
         "Missing resource argument."},
        {"no credentials",
         [](auto& e) { return Helper::sharedAccessSignatureHashWithStringToSign("text", nullptr, e).has_value(); },
         "Client is missing credentials."},
        {"credentials without a key",
         [&](auto& e) { return Helper::sharedAccessSignatureHashWithStringToSign("text", sas.get(), e).has_value(); },
         "Client is missing credentials."},
        {"client without credentials",
         [](auto& e) {
             auto client = std::make_shared<BLSCloudBlobClient>(BLSStorageUri(), nullptr);
             return Helper::sharedAccessSignatureHashForBlobWithParameters({}, "/blob/a/c", client.get(), e)
                 .has_value();
         },
         "Client is missing credentials."},
    };
    for (const Case& c : cases) {
        logged().clear();
        std::optional<platform::Error> error;
        EXPECT_FALSE(c.call(error)) << c.name;
        EXPECT_TRUE(isCode1(error)) << c.name;
        EXPECT_EQ(errorsLogged(), std::vector<std::string>{c.message}) << c.name;
    }
}

TEST(SharedAccessSignature, QueryCarriesOnlySetParameters) {
    std::optional<platform::Error> error;
    auto bare = Helper::sharedAccessSignatureForAccountWithParameters({}, std::string("sig+/="), error);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->builderAsString(), "?sig=sig%2B%2F%3D&sv=2016-03-14");

    BLSSharedAccessAccountParameters account;
    account.permissions = 1 + 8 + 32;
    account.services = 1;
    account.resourceTypes = 2 + 4;
    account.sharedAccessExpiryTime = at(1893456000);
    account.ipAddressOrRange = BLSSharedAccessIPRange::singleAddress("168.1.5.60");
    account.protocols = 1;
    auto query = Helper::sharedAccessSignatureForAccountWithParameters(account, std::string("abc="), error);
    ASSERT_TRUE(query);
    // No start time: no "st".
    EXPECT_EQ(query->builderAsString(),
              "?se=2030-01-01T00%3A00%3A00Z&sig=abc%3D&sip=168.1.5.60&sp=rwl&spr=https%2Chttp&srt=co&ss=b"
              "&sv=2016-03-14");

    BLSSharedAccessBlobParameters blob;
    blob.permissions = 1;
    blob.sharedAccessStartTime = at(1457913600);
    blob.storedPolicyIdentifier = "policy 1";
    blob.headers.cacheControl = "no-cache";
    blob.headers.contentDisposition = "attachment; filename=plan.vkm";
    blob.headers.contentEncoding = "gzip";
    blob.headers.contentLanguage = "";
    blob.headers.contentType = "application/octet-stream";
    auto blobQuery =
        Helper::sharedAccessSignatureForBlobWithParameters(blob, std::string("b"), std::string("s"), error);
    ASSERT_TRUE(blobQuery);
    EXPECT_FALSE(error);
    EXPECT_EQ(blobQuery->parameters(), (std::map<std::string, std::string>{
                                           {"rscc", "no-cache"},
                                           {"rscd", "attachment; filename=plan.vkm"},
                                           {"rsce", "gzip"},
                                           {"rsct", "application/octet-stream"},
                                           {"si", "policy 1"},
                                           {"sig", "s"},
                                           {"sp", "r"},
                                           {"sr", "b"},
                                           {"st", "2016-03-14T00:00:00Z"},
                                           {"sv", "2016-03-14"},
                                       }));

    // The table fields of the general form.
    auto table = Helper::sharedAccessSignatureWithPermissions(0, 8, 0, std::nullopt, std::nullopt, std::string("pk1"),
                                                              std::string("rk1"), std::string("pk2"), std::string(""),
                                                              std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0,
                                                              std::string("layouts"), std::string("s"), error);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->builderAsString(), "?epk=pk2&sig=s&spk=pk1&srk=rk1&ss=t&sv=2016-03-14&tn=layouts");
}
