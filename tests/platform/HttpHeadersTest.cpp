#include "platform/net/URLRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::net::HTTPHeaders;
using platform::net::InvalidHeaderError;
using platform::net::isValidHeaderName;
using platform::net::isValidHeaderValue;
using platform::net::URLRequest;

namespace {

using Fields = std::vector<HTTPHeaders::Field>;

TEST(HttpHeaders, NamesCompareWithoutCaseAndKeepFirstSpellingAndPlace) {
    HTTPHeaders headers;
    headers.set("x-bs-date", "Mon, 14 Mar 2016 10:00:00 GMT");
    headers.set("Content-Type", "text/plain");
    headers.set("X-BS-Date", "Tue, 15 Mar 2016 10:00:00 GMT");
    headers.set("x-bs-version", "2016-03-14");

    EXPECT_EQ(headers.fields(), (Fields{{"x-bs-date", "Tue, 15 Mar 2016 10:00:00 GMT"},
                                        {"Content-Type", "text/plain"},
                                        {"x-bs-version", "2016-03-14"}}));
    ASSERT_NE(headers.get("CONTENT-type"), nullptr);
    EXPECT_EQ(*headers.get("CONTENT-type"), "text/plain");
    EXPECT_EQ(headers.get("Content-Length"), nullptr);
    EXPECT_FALSE(headers.contains("x-bs-dat"));

    headers.remove("CONTENT-TYPE");
    EXPECT_EQ(headers.fields(),
              (Fields{{"x-bs-date", "Tue, 15 Mar 2016 10:00:00 GMT"}, {"x-bs-version", "2016-03-14"}}));
    headers.remove("absent");  // nothing to do, nothing thrown
    EXPECT_EQ(headers.size(), 2u);

    // Set again after removal: a new field at the end, with the new spelling.
    headers.set("content-type", "a/b");
    EXPECT_EQ(headers.fields().back(), (HTTPHeaders::Field{"content-type", "a/b"}));
}

TEST(HttpHeaders, AddJoinsWithCommaWithoutBlank) {
    HTTPHeaders headers;
    headers.add("Accept", "application/xml");
    headers.set("Range", "bytes=0-9");
    headers.add("ACCEPT", "text/plain");
    headers.add("accept", "*/*");
    EXPECT_EQ(headers.fields(), (Fields{{"Accept", "application/xml,text/plain,*/*"}, {"Range", "bytes=0-9"}}));

    URLRequest request;
    request.setValue("a", "If-Match");
    request.addValue("b", "if-match");
    ASSERT_NE(request.valueForHTTPHeaderField("IF-MATCH"), nullptr);
    EXPECT_EQ(*request.valueForHTTPHeaderField("IF-MATCH"), "a,b");
}

TEST(HttpHeaders, RefusesInvalidNamesAndValuesAndKeepsWhatItHad) {
    const std::pair<const char*, std::string> badNames[] = {
        {"empty", ""},
        {"blank", "x bs"},
        {"colon", "Host:"},
        {"CR LF", "x\r\nEvil"},
        {"separator", "a(b)"},
        {"slash", "a/b"},
        {"at sign", "a@b"},
        {"byte above ASCII", "caf\xc3\xa9"},
        {"NUL", std::string("a\0b", 3)},
    };
    const std::pair<const char*, std::string> badValues[] = {
        {"CR", "a\rb"},
        {"LF", "a\nb"},
        {"CR LF injection", "1\r\nX-Evil: yes"},
        {"NUL", std::string("a\0b", 3)},
        {"bell", "a\x07"},
        {"DEL", "a\x7f"},
        {"unit separator", "\x1f"},
    };

    HTTPHeaders headers;
    headers.set("x-bs-meta-a", "kept");
    for (const auto& [name, text] : badNames) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(isValidHeaderName(text));
        EXPECT_THROW(headers.set(text, "v"), InvalidHeaderError);
        EXPECT_THROW(headers.add(text, "v"), InvalidHeaderError);
    }
    for (const auto& [name, text] : badValues) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(isValidHeaderValue(text));
        EXPECT_THROW(headers.set("x-bs-meta-a", text), InvalidHeaderError);
        EXPECT_THROW(headers.add("x-bs-meta-a", text), InvalidHeaderError);
        EXPECT_THROW(headers.set("x-bs-meta-b", text), InvalidHeaderError);
    }
    EXPECT_EQ(headers.fields(), (Fields{{"x-bs-meta-a", "kept"}}));

    // The message names the field and never carries a raw line break.
    try {
        headers.set("x-bs-meta-a", "1\r\nX-Evil: yes");
        FAIL() << "no exception";
    } catch (const InvalidHeaderError& e) {
        std::string message = e.what();
        EXPECT_NE(message.find("x-bs-meta-a"), std::string::npos) << message;
        EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
    }
}

TEST(HttpHeaders, AcceptsWhatHttpAllows) {
    const char* names[] = {"x-bs-meta-Name_1", "Content-MD5", "!#$%&'*+-.^_`|~09azAZ"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isValidHeaderName(name));
    }
    const std::string values[] = {"", "a\tb", " spaced out ", "caf\xc3\xa9", "\"quoted\", (comment)"};
    HTTPHeaders headers;
    for (const auto& value : values) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(isValidHeaderValue(value));
        EXPECT_NO_THROW(headers.set("x-v", value));
        EXPECT_EQ(*headers.get("x-v"), value);
    }
}

}  // namespace
