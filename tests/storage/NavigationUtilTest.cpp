// Taking storage addresses apart: SAS and snapshot in the query, container
// and blob names, the service's base address.

#include "storage/BLSNavigationUtil.h"

#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::net::URL;
using Map = std::map<std::string, std::string>;

std::optional<URL> url(const char* text) {
    auto parsed = URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed;
}

std::string text(const std::optional<URL>& u) { return u ? u->absoluteString() : "<nil>"; }

std::vector<std::string>& errorLog() {
    static std::vector<std::string> lines;
    static bool installed = [] {
        auto& context = BLSUtil::operationlessContext();
        context->setLogLevel(BLSLogLevelDebug);
        context->setLogFunction([](BLSLogLevel level, const std::string& message) {
            if (level == BLSLogLevelError) lines.push_back(message);
        });
        return true;
    }();
    (void)installed;
    return lines;
}

}  // namespace

TEST(NavigationUtil, BlobAddressSplitsIntoAddressSasAndSnapshot) {
    auto parsed = BLSNavigationUtil::parseBlobQueryAndVerifyWithUri(
        url("https://acct.blob.example.net/layouts/plan.vkm?sv=2016-03-14&sig=ab%2Bc%3D"
            "&snapshot=2016-03-14T00%3A00%3A00.0000000Z&comp=metadata"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(text(parsed->address), "https://acct.blob.example.net/layouts/plan.vkm");
    EXPECT_EQ(parsed->snapshot, "2016-03-14T00:00:00.0000000Z");
    ASSERT_NE(parsed->credentials, nullptr);
    EXPECT_TRUE(parsed->credentials->isSAS());
    EXPECT_EQ(parsed->credentials->sasToken(), "?sig=ab%2Bc%3D&sv=2016-03-14");
    ASSERT_TRUE(parsed->credentials->queryBuilder());
    EXPECT_EQ(parsed->credentials->queryBuilder()->parameters(),
              (Map{{"api-version", "2016-03-14"}, {"sig", "ab+c="}, {"sv", "2016-03-14"}}));

    auto anonymous = BLSNavigationUtil::parseBlobQueryAndVerifyWithUri(url("https://acct.blob.example.net/c/b?comp=x"));
    ASSERT_TRUE(anonymous);
    ASSERT_NE(anonymous->credentials, nullptr);
    EXPECT_FALSE(anonymous->credentials->isSAS());
    EXPECT_FALSE(anonymous->credentials->isSharedKey());
    EXPECT_FALSE(anonymous->snapshot);

    EXPECT_FALSE(BLSNavigationUtil::parseBlobQueryAndVerifyWithUri(std::nullopt));
}

TEST(NavigationUtil, AddressKeepsSchemeHostPortAndPath) {
    struct Case {
        const char* name;
        const char* input;
        const char* address;
    };
    const Case cases[] = {
        {"development storage port", "http://127.0.0.1:10000/localaccount1/c/b?sig=x",
         "http://127.0.0.1:10000/localaccount1/c/b"},
        {"IPv6 with port", "http://[::1]:10000/acct/c?sv=1", "http://[::1]:10000/acct/c"},
        {"user and fragment dropped", "https://user:pw@acct.blob.example.net/c/b#frag",
         "https://acct.blob.example.net/c/b"},
        {"escaped path kept", "https://acct.blob.example.net/c/my%20plan.vkm?sig=x",
         "https://acct.blob.example.net/c/my%20plan.vkm"},
    };
    for (const Case& c : cases) {
        auto parsed = BLSNavigationUtil::parseBlobQueryAndVerifyWithUri(url(c.input));
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(text(parsed->address), c.address) << c.name;
    }

    BLSStorageUri both(url("http://127.0.0.1:10000/acct/c?sig=p&snapshot=s1"),
                       url("http://127.0.0.1:10001/acct-secondary/c?sig=q&snapshot=s2"));
    auto parsed = BLSNavigationUtil::parseBlobQueryAndVerifyWithStorageUri(both);
    ASSERT_TRUE(parsed && parsed->address);
    EXPECT_EQ(text(parsed->address->primaryUri()), "http://127.0.0.1:10000/acct/c");
    EXPECT_EQ(text(parsed->address->secondaryUri()), "http://127.0.0.1:10001/acct-secondary/c");
    EXPECT_EQ(parsed->snapshot, "s1");
    ASSERT_TRUE(parsed->credentials && parsed->credentials->queryBuilder());
    EXPECT_EQ(parsed->credentials->queryBuilder()->parameters().at("sig"), "p");

    auto primaryOnly = BLSNavigationUtil::parseBlobQueryAndVerifyWithStorageUri(BLSStorageUri(url("https://h/c")));
    ASSERT_TRUE(primaryOnly && primaryOnly->address);
    EXPECT_FALSE(primaryOnly->address->secondaryUri());
    EXPECT_FALSE(BLSNavigationUtil::parseBlobQueryAndVerifyWithStorageUri(std::nullopt));
}

TEST(NavigationUtil, SasQueryLeavesOutOperationParameters) {
    Map withSignature{{"sv", "2016-03-14"}, {"sig", "s"}, {"snapshot", "t"}, {"comp", "list"}};
    auto credentials = BLSNavigationUtil::parseSASQueryWithQueryParameters(withSignature);
    EXPECT_EQ(withSignature, (Map{{"sig", "s"}, {"sv", "2016-03-14"}}));
    ASSERT_NE(credentials, nullptr);
    EXPECT_EQ(credentials->queryBuilder()->parameters(),
              (Map{{"api-version", "2016-03-14"}, {"sig", "s"}, {"sv", "2016-03-14"}}));

    Map withoutSignature{
        {"restype", "container"}, {"comp", "list"}, {"snapshot", "t"}, {"api-version", "v"}, {"x", "1"}};
    EXPECT_EQ(BLSNavigationUtil::parseSASQueryWithQueryParameters(withoutSignature), nullptr);
    EXPECT_EQ(withoutSignature, (Map{{"x", "1"}}));

    // Names in any case: found, removed, and lower-cased in the token.
    Map mixedCase{{"SIG", "s"}, {"Sv", "v"}, {"Comp", "list"}, {"RESTYPE", "c"}};
    auto mixed = BLSNavigationUtil::parseSASQueryWithQueryParameters(mixedCase);
    EXPECT_EQ(mixedCase, (Map{{"SIG", "s"}, {"Sv", "v"}}));
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(mixed->sasToken(), "?sig=s&sv=v");
}

TEST(NavigationUtil, ContainerNames) {
    struct Case {
        const char* name;
        const char* address;
        bool pathStyle;
        std::optional<std::string> container;
    };
    const Case cases[] = {
        {"host style", "https://acct.blob.example.net/layouts", false, "layouts"},
        {"path style", "http://127.0.0.1:10000/acct/layouts", true, "layouts"},
        {"path style account only", "http://127.0.0.1:10000/acct", true, std::nullopt},
        {"host style without path", "https://acct.blob.example.net", false, std::nullopt},
        {"host style root path", "https://acct.blob.example.net/", false, std::nullopt},
    };
    for (const Case& c : cases) {
        auto address = url(c.address);
        ASSERT_TRUE(address) << c.name;
        EXPECT_EQ(BLSNavigationUtil::getContainerNameWithContainerAddress(*address, c.pathStyle), c.container)
            << c.name;
    }
}

TEST(NavigationUtil, BlobNamesAreThePathBelowTheContainer) {
    struct Case {
        const char* name;
        const char* address;
        bool pathStyle;
        std::optional<std::string> blob;
    };
    const Case cases[] = {
        {"host style", "https://acct.blob.example.net/layouts/plan.vkm", false, "plan.vkm"},
        {"host style in folders", "https://acct.blob.example.net/layouts/2016/03/plan.vkm", false, "2016/03/plan.vkm"},
        {"path style", "http://127.0.0.1:10000/acct/layouts/plan.vkm", true, "plan.vkm"},
        {"path style in folders", "http://127.0.0.1:10000/acct/layouts/dir/plan.vkm", true, "dir/plan.vkm"},
        {"escapes decoded", "https://acct.blob.example.net/layouts/my%20plan%3F.vkm", false, "my plan?.vkm"},
        {"container only", "https://acct.blob.example.net/layouts", false, std::nullopt},
        {"container with a trailing slash", "https://acct.blob.example.net/layouts/", false, std::nullopt},
        {"path style container only", "http://127.0.0.1:10000/acct/layouts", true, std::nullopt},
        {"no path", "https://acct.blob.example.net", false, std::nullopt},
    };
    for (const Case& c : cases) {
        auto address = url(c.address);
        ASSERT_TRUE(address) << c.name;
        EXPECT_EQ(BLSNavigationUtil::getBlobNameWithBlobAddress(*address, c.pathStyle), c.blob) << c.name;
    }
}

TEST(NavigationUtil, ServiceBaseAddress) {
    struct Case {
        const char* name;
        const char* address;
        bool pathStyle;
        const char* base;
    };
    const Case cases[] = {
        {"host style blob", "https://acct.blob.example.net/layouts/plan.vkm?sig=x", false,
         "https://acct.blob.example.net"},
        {"host style with port", "https://acct.blob.example.net:8443/layouts", false,
         "https://acct.blob.example.net:8443"},
        {"path style keeps the account and the port", "http://127.0.0.1:10000/localaccount1/layouts/plan.vkm", true,
         "http://127.0.0.1:10000/localaccount1"},
        {"path style IPv6", "http://[::1]:10000/acct/layouts", true, "http://[::1]:10000/acct"},
    };
    for (const Case& c : cases) {
        std::optional<platform::Error> error;
        EXPECT_EQ(text(BLSNavigationUtil::getServiceClientBaseAddressWithUri(url(c.address), c.pathStyle, error)),
                  c.base)
            << c.name;
        EXPECT_FALSE(error) << c.name;
    }

    BLSStorageUri both(url("https://acct.blob.example.net/c/b"), url("https://acct-secondary.blob.example.net/c/b"));
    std::optional<platform::Error> error;
    auto base = BLSNavigationUtil::getServiceClientBaseAddressWithStorageUri(both, false, error);
    ASSERT_TRUE(base);
    EXPECT_EQ(text(base->primaryUri()), "https://acct.blob.example.net");
    EXPECT_EQ(text(base->secondaryUri()), "https://acct-secondary.blob.example.net");
    EXPECT_FALSE(error);
}

TEST(NavigationUtil, PathStyleBaseAddressNeedsAnAccount) {
    auto& log = errorLog();
    for (const char* address : {"http://127.0.0.1:10000", "http://127.0.0.1:10000/"}) {
        std::optional<platform::Error> error;
        EXPECT_FALSE(BLSNavigationUtil::getServiceClientBaseAddressWithUri(url(address), true, error)) << address;
        ASSERT_TRUE(error) << address;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
        EXPECT_EQ(error->localizedDescription(), "URI is missing account information.");
    }
    EXPECT_EQ(log, (std::vector<std::string>(2, "URI is missing account information.")));

    // An error already held: nothing is made and the error stays.
    std::optional<platform::Error> held = platform::Error("earlier", 9);
    EXPECT_FALSE(BLSNavigationUtil::getServiceClientBaseAddressWithUri(url("https://h/c"), false, held));
    EXPECT_EQ(held->domain(), "earlier");
    std::optional<platform::Error> none;
    EXPECT_FALSE(BLSNavigationUtil::getServiceClientBaseAddressWithUri(std::nullopt, false, none));
    EXPECT_FALSE(none);

    std::optional<platform::Error> secondaryError;
    BLSStorageUri badSecondary(url("http://127.0.0.1:10000/acct/c"), url("http://127.0.0.1:10001/"));
    EXPECT_FALSE(BLSNavigationUtil::getServiceClientBaseAddressWithStorageUri(badSecondary, true, secondaryError));
    EXPECT_TRUE(secondaryError);
}
