#include "platform/net/URL.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::net::percentDecode;
using platform::net::URL;
using platform::net::URLComponents;

namespace {

struct ParseCase {
    const char* name;
    const char* text;
    const char* scheme;
    const char* user;
    const char* password;
    const char* host;
    std::optional<int> port;
    const char* path;  // percent-encoded, as written
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

TEST(Url, ParsesTheParts) {
    const ParseCase cases[] = {
        {"host and path", "https://acct.blob.example.net/box/blob", "https", "", "", "acct.blob.example.net",
         std::nullopt, "/box/blob", std::nullopt, std::nullopt},
        {"port", "http://127.0.0.1:10000/devacct/box", "http", "", "", "127.0.0.1", 10000, "/devacct/box", std::nullopt,
         std::nullopt},
        {"highest port", "http://h:65535/", "http", "", "", "h", 65535, "/", std::nullopt, std::nullopt},
        {"port zero with leading zeros", "http://h:0080", "http", "", "", "h", 80, "", std::nullopt, std::nullopt},
        {"empty port means none", "http://h:/p", "http", "", "", "h", std::nullopt, "/p", std::nullopt, std::nullopt},
        {"IPv6 loopback with port", "http://[::1]:8080/a", "http", "", "", "::1", 8080, "/a", std::nullopt,
         std::nullopt},
        {"IPv6 full without port", "https://[2001:db8::7]/", "https", "", "", "2001:db8::7", std::nullopt, "/",
         std::nullopt, std::nullopt},
        {"user and password, decoded", "ftp://al%20ice:p%40ss:w@h/x", "ftp", "al ice", "p@ss:w", "h", std::nullopt,
         "/x", std::nullopt, std::nullopt},
        {"user only", "ssh://bob@h", "ssh", "bob", "", "h", std::nullopt, "", std::nullopt, std::nullopt},
        {"empty path", "https://h", "https", "", "", "h", std::nullopt, "", std::nullopt, std::nullopt},
        {"query and fragment", "https://h/p?comp=list&x=%2F#frag/?", "https", "", "", "h", std::nullopt, "/p",
         "comp=list&x=%2F", "frag/?"},
        {"empty query and empty fragment", "https://h/?#", "https", "", "", "h", std::nullopt, "/", std::string(),
         std::string()},
        {"query right after host", "https://h?a=1", "https", "", "", "h", std::nullopt, "", "a=1", std::nullopt},
        {"empty host", "file:///tmp/x%20y", "file", "", "", "", std::nullopt, "/tmp/x%20y", std::nullopt, std::nullopt},
        {"no authority", "mailto:a@b.example", "mailto", "", "", "", std::nullopt, "a@b.example", std::nullopt,
         std::nullopt},
        {"scheme with digits and plus", "svn+ssh2://h/r", "svn+ssh2", "", "", "h", std::nullopt, "/r", std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto url = URL::parse(c.text);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->absoluteString(), c.text);
        EXPECT_EQ(url->scheme(), c.scheme);
        EXPECT_EQ(url->user(), c.user);
        EXPECT_EQ(url->password(), c.password);
        EXPECT_EQ(url->host(), c.host);
        EXPECT_EQ(url->port(), c.port);
        EXPECT_EQ(url->percentEncodedPath(), c.path);
        EXPECT_EQ(url->query(), c.query);
        EXPECT_EQ(url->fragment(), c.fragment);
    }
}

TEST(Url, RefusesMalformedText) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"no scheme", "//h/p"},
        {"relative path", "box/blob"},
        {"scheme starting with a digit", "1http://h/"},
        {"empty scheme", "://h/"},
        {"blank in path", "https://h/a b"},
        {"blank in query", "https://h/p?a=b c"},
        {"leading blank", " https://h/"},
        {"tab", "https://h/\tx"},
        {"CR LF", "https://h/p\r\nX-Evil: 1"},
        {"NUL", std::string("https://h/a\0b", 13)},
        {"DEL", "https://h/\x7f"},
        {"byte above ASCII", "https://h/caf\xc3\xa9"},
        {"double quote", "https://h/\"x\""},
        {"angle bracket", "https://h/<x>"},
        {"backslash", "https://h\\p"},
        {"braces and pipe", "https://h/{a|b}"},
        {"incomplete escape", "https://h/a%4"},
        {"escape at end", "https://h/a%"},
        {"non-hex escape", "https://h/%zz"},
        {"bad escape in query", "https://h/?a=%g0"},
        {"port above 65535", "https://h:65536/"},
        {"huge port", "https://h:99999999999999999999/"},
        {"port with letters", "https://h:80a/"},
        {"negative port", "https://h:-1/"},
        {"two colons in host", "https://h:80:81/"},
        {"second at sign", "https://a@b@h/"},
        {"unbracketed IPv6", "https://::1/"},
        {"unterminated IPv6", "https://[::1/"},
        {"not an IPv6 literal", "https://[hello]/"},
        {"garbage after IPv6", "https://[::1]x/"},
        {"bracket in path", "https://h/[x]"},
        {"second hash", "https://h/#a#b"},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(URL::parse(text).has_value()) << text;
    }
}

TEST(Url, DecodedPathAndComponents) {
    struct Case {
        const char* name;
        const char* text;
        const char* path;
        std::vector<std::string> components;
    };
    const Case cases[] = {
        {"trailing slash", "https://h/a/b/", "/a/b/", {"/", "a", "b"}},
        {"root", "https://h/", "/", {"/"}},
        {"empty", "https://h", "", {}},
        {"escaped blank", "https://h/my%20box/x%2By", "/my box/x+y", {"/", "my box", "x+y"}},
        {"escaped slash stays in its segment", "https://h/box/a%2Fb", "/box/a/b", {"/", "box", "a/b"}},
        {"empty segments", "https://h//a//b", "//a//b", {"/", "a", "b"}},
        {"path with query", "https://h/box?restype=container", "/box", {"/", "box"}},
        {"no leading slash", "urn:a/b", "a/b", {"a", "b"}},
        {"utf-8 escapes", "https://h/caf%C3%A9", "/caf\xc3\xa9", {"/", "caf\xc3\xa9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto url = URL::parse(c.text);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->path(), c.path);
        EXPECT_EQ(url->pathComponents(), c.components);
    }
}

TEST(Url, PercentDecode) {
    EXPECT_EQ(percentDecode("a%20b%2fc%2F"), "a b/c/");
    EXPECT_EQ(percentDecode("a+b"), "a+b");
    EXPECT_EQ(percentDecode(""), "");
    EXPECT_EQ(percentDecode("%00"), std::string(1, '\0'));
    EXPECT_EQ(percentDecode("%25"), "%");
    EXPECT_EQ(percentDecode("%4"), std::nullopt);
    EXPECT_EQ(percentDecode("%zz"), std::nullopt);
    EXPECT_EQ(percentDecode("100%"), std::nullopt);
}

TEST(UrlComponents, RoundTripsWhatItRead) {
    const char* urls[] = {
        "https://acct.blob.example.net/box/blob?comp=block&blockid=QUJD#f",
        "http://127.0.0.1:10000/devacct/box",
        "http://[::1]:8080/a/b",
        "https://[2001:db8::7]/",
        "ftp://bob:s3cret@h/x",
        "https://h",
        "https://h?",
        "file:///tmp/x",
        "mailto:a@b.example",
        "https://h/my%20box/a%2Fb",
    };
    for (const char* text : urls) {
        SCOPED_TRACE(text);
        auto url = URL::parse(text);
        ASSERT_TRUE(url.has_value());
        auto rebuilt = URLComponents(*url).url();
        ASSERT_TRUE(rebuilt.has_value());
        EXPECT_EQ(rebuilt->absoluteString(), text);
    }
}

TEST(UrlComponents, BuildsFromParts) {
    URLComponents parts;
    parts.scheme = "https";
    parts.host = "acct.blob.example.net";
    parts.setPath("/my box/50% off/a?b#c");
    EXPECT_EQ(parts.percentEncodedPath(), "/my%20box/50%25%20off/a%3Fb%23c");
    EXPECT_EQ(parts.path(), "/my box/50% off/a?b#c");
    parts.setPercentEncodedQuery("restype=container");
    auto url = parts.url();
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), "https://acct.blob.example.net/my%20box/50%25%20off/a%3Fb%23c?restype=container");
    EXPECT_EQ(url->pathComponents(), (std::vector<std::string>{"/", "my box", "50% off", "a?b#c"}));

    // Characters a path may hold stay as they are; bytes above ASCII are escaped.
    parts.setPath("/a-b_c.d~e!$&'()*+,;=:@/caf\xc3\xa9");
    EXPECT_EQ(parts.percentEncodedPath(), "/a-b_c.d~e!$&'()*+,;=:@/caf%C3%A9");

    // A port, an IPv6 host written in brackets, user info escaped.
    URLComponents v6;
    v6.scheme = "http";
    v6.host = "::1";
    v6.port = 10000;
    v6.user = "a b";
    v6.password = "p@ss";
    v6.setPath("/x");
    auto v6url = v6.url();
    ASSERT_TRUE(v6url.has_value());
    EXPECT_EQ(v6url->absoluteString(), "http://a%20b:p%40ss@[::1]:10000/x");
    EXPECT_EQ(v6url->host(), "::1");
    EXPECT_EQ(v6url->user(), "a b");
    EXPECT_EQ(v6url->password(), "p@ss");

    // Changing one part of a parsed URL keeps the others.
    auto base = URL::parse("https://h:444/box?sv=1#frag");
    ASSERT_TRUE(base.has_value());
    URLComponents changed(*base);
    changed.setPath("/box/new blob");
    changed.setPercentEncodedFragment(std::nullopt);
    EXPECT_EQ(changed.url()->absoluteString(), "https://h:444/box/new%20blob?sv=1");
}

TEST(UrlComponents, RefusesPartsThatMakeNoURL) {
    URLComponents noScheme;
    noScheme.host = "h";
    EXPECT_FALSE(noScheme.url().has_value());

    URLComponents relativePath;
    relativePath.scheme = "https";
    relativePath.host = "h";
    relativePath.setPath("box");
    EXPECT_FALSE(relativePath.url().has_value());

    URLComponents blankQuery;
    blankQuery.scheme = "https";
    blankQuery.host = "h";
    blankQuery.setPercentEncodedQuery("a=b c");
    EXPECT_FALSE(blankQuery.url().has_value());

    URLComponents badPort;
    badPort.scheme = "https";
    badPort.host = "h";
    badPort.port = 70000;
    EXPECT_FALSE(badPort.url().has_value());

    // Without an authority a path may not start with "//": it would read
    // back as a host.
    auto mail = URL::parse("mailto:a@b.example");
    ASSERT_TRUE(mail.has_value());
    URLComponents mailParts(*mail);
    mailParts.setPath("//evil.example/x");
    EXPECT_FALSE(mailParts.url().has_value());

    URLComponents badIPv6;
    badIPv6.scheme = "https";
    badIPv6.host = "not:an:address";
    EXPECT_FALSE(badIPv6.url().has_value());
}

}  // namespace
