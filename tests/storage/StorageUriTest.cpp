// Storage URIs and the query builder: appending paths, writing queries into
// addresses.

#include "storage/BLSStorageUri.h"
#include "storage/BLSUtil.h"

#include <gtest/gtest.h>
#include <map>

#include <stdexcept>
#include <string>

namespace {

using platform::net::URL;

std::optional<URL> url(const char* text) {
    auto parsed = URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed;
}

std::string text(const std::optional<URL>& u) { return u ? u->absoluteString() : "<nil>"; }

}  // namespace

TEST(StorageUri, LocationPicksTheAddress) {
    BLSStorageUri both(url("https://a.blob.example.net/c"), url("https://a-secondary.blob.example.net/c"));
    EXPECT_EQ(text(both.urlWithLocation(BLSStorageLocationPrimary)), "https://a.blob.example.net/c");
    EXPECT_EQ(text(both.urlWithLocation(BLSStorageLocationSecondary)), "https://a-secondary.blob.example.net/c");
    EXPECT_THROW(both.urlWithLocation(static_cast<BLSStorageLocation>(3)), std::logic_error);

    BLSStorageUri primaryOnly(url("https://a.blob.example.net/c"));
    EXPECT_FALSE(primaryOnly.urlWithLocation(BLSStorageLocationSecondary));
}

TEST(StorageUri, AppendingAPath) {
    struct Case {
        const char* name;
        const char* base;
        const char* append;
        const char* expected;
    };
    const Case cases[] = {
        {"empty path", "https://a.blob.example.net", "layouts", "https://a.blob.example.net/layouts"},
        {"blank escaped", "https://a.blob.example.net/layouts", "my plan.vkm",
         "https://a.blob.example.net/layouts/my%20plan.vkm"},
        {"root path gives two slashes", "https://a.blob.example.net/", "layouts",
         "https://a.blob.example.net//layouts"},
        {"query stays", "https://a.blob.example.net/layouts?sv=1&sig=x", "b",
         "https://a.blob.example.net/layouts/b?sv=1&sig=x"},
        {"port stays", "http://127.0.0.1:10000/acct", "layouts", "http://127.0.0.1:10000/acct/layouts"},
        {"slashes in the name make segments", "https://a.blob.example.net/c", "dir/sub/b.vkm",
         "https://a.blob.example.net/c/dir/sub/b.vkm"},
        {"query and fragment marks escaped", "https://a.blob.example.net/c", "a?b#c%d",
         "https://a.blob.example.net/c/a%3Fb%23c%25d"},
        {"escapes of the old path kept", "https://a.blob.example.net/c/a%2Fb", "x",
         "https://a.blob.example.net/c/a%2Fb/x"},
        {"UTF-8 escaped byte by byte", "https://a.blob.example.net/c", "Z\xC3\xBCrich",
         "https://a.blob.example.net/c/Z%C3%BCrich"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text(BLSStorageUri::appendToUrl(url(c.base), c.append)), c.expected) << c.name;
    }
    EXPECT_FALSE(BLSStorageUri::appendToUrl(std::nullopt, "x"));

    BLSStorageUri both(url("https://a.blob.example.net"), url("https://a-secondary.blob.example.net"));
    auto appended = BLSStorageUri::appendToStorageUri(both, "layouts");
    EXPECT_EQ(text(appended.primaryUri()), "https://a.blob.example.net/layouts");
    EXPECT_EQ(text(appended.secondaryUri()), "https://a-secondary.blob.example.net/layouts");
    auto primaryOnly = BLSStorageUri::appendToStorageUri(BLSStorageUri(url("https://a.blob.example.net")), "c");
    EXPECT_FALSE(primaryOnly.secondaryUri());
}

TEST(StorageUri, QueryBuilderKeepsOneValuePerKey) {
    BLSUriQueryBuilder builder;
    EXPECT_EQ(builder.builderAsString(), "");
    builder.addWithKey("sv", std::nullopt);
    builder.addIfNotNilOrEmptyWithKey("st", std::string());
    builder.addIfNotNilOrEmptyWithKey("se", std::nullopt);
    EXPECT_TRUE(builder.parameters().empty());

    builder.addWithKey("sv", std::string("2015-01-01"));
    builder.addWithKey("sv", std::string("2016-03-14"));
    builder.addWithKey("empty", std::string());
    EXPECT_EQ(builder.parameters().size(), 2u);
    EXPECT_EQ(builder.parameters().at("sv"), "2016-03-14");
    builder.addWithKey("sig", std::string("a+b/c="));
    EXPECT_EQ(builder.builderAsString(), "?empty=&sig=a%2Bb%2Fc%3D&sv=2016-03-14");

    BLSUriQueryBuilder parsed(std::optional<std::string>("?sig=a%2Bb&sv=2016-03-14"));
    EXPECT_EQ(parsed.parameters().at("sig"), "a+b");
    EXPECT_EQ(parsed.parameters().at("sv"), "2016-03-14");
}

TEST(StorageUri, QueryBuilderEncodesKeysSoNoKeyAddsAParameter) {
    // Decoded keys of a token holding "&", "=", "#" or a blank.
    BLSUriQueryBuilder builder(std::optional<std::string>("sig=s&x%26comp%3Dlist=1&a%20b=2&c%23d=3"));
    EXPECT_EQ(builder.builderAsString(), "?a%20b=2&c%23d=3&sig=s&x%26comp%3Dlist=1");
    auto signedUrl = builder.addToUri(url("https://a.blob.example.net/c/b"));
    ASSERT_TRUE(signedUrl);
    EXPECT_FALSE(signedUrl->fragment());
    const std::map<std::string, std::string> expected = {
        {"a b", "2"}, {"c#d", "3"}, {"sig", "s"}, {"x&comp=list", "1"}};
    EXPECT_EQ(BLSUtil::parseQueryWithQueryString(signedUrl->query()), expected);
}

TEST(StorageUri, QueryBuilderAddsToAddresses) {
    BLSUriQueryBuilder builder;
    builder.addWithKey("sv", std::string("2016-03-14"));
    builder.addWithKey("sig", std::string("ab+c/d="));

    struct Case {
        const char* name;
        const char* base;
        const char* expected;
    };
    const Case cases[] = {
        {"no query", "https://a.blob.example.net/c/b",
         "https://a.blob.example.net/c/b?sig=ab%2Bc%2Fd%3D&sv=2016-03-14"},
        {"old query first", "https://a.blob.example.net/c?restype=container&comp=list",
         "https://a.blob.example.net/c?restype=container&comp=list&sig=ab%2Bc%2Fd%3D&sv=2016-03-14"},
        {"empty query", "https://a.blob.example.net/c?",
         "https://a.blob.example.net/c?sig=ab%2Bc%2Fd%3D&sv=2016-03-14"},
        {"fragment stays last", "https://a.blob.example.net/c#part",
         "https://a.blob.example.net/c?sig=ab%2Bc%2Fd%3D&sv=2016-03-14#part"},
        {"port kept", "http://127.0.0.1:10000/acct/c", "http://127.0.0.1:10000/acct/c?sig=ab%2Bc%2Fd%3D&sv=2016-03-14"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text(builder.addToUri(url(c.base))), c.expected) << c.name;
    }
    EXPECT_FALSE(builder.addToUri(std::nullopt));
    // An empty builder leaves the address as it is (no dangling "?" or "&").
    EXPECT_EQ(text(BLSUriQueryBuilder().addToUri(url("https://a.blob.example.net/c?comp=list"))),
              "https://a.blob.example.net/c?comp=list");
    EXPECT_EQ(text(BLSUriQueryBuilder().addToUri(url("https://a.blob.example.net/c"))), "https://a.blob.example.net/c");
}
