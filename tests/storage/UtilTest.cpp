// Storage helpers: URL encoding, query parsing, path-style addressing,
// service dates, optional headers, digests and error chains.

#include "storage/BLSUtil.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageCredentials.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using Date = BLSUtil::Date;
using std::chrono::seconds;

Date at(long long epochSeconds) { return Date(seconds(epochSeconds)); }

std::optional<platform::net::URL> testUrl(const char* text) {
    auto parsed = platform::net::URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed;
}

}  // namespace

TEST(StorageUtil, URLEncodingEscapesEveryByteButTheUnreservedOnes) {
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"blank", " ", "%20"},
        {"slash", "/", "%2F"},
        {"u with diaeresis, byte by byte", "\xC3\xBC", "%C3%BC"},
        {"unreserved marks", "-._~", "-._~"},
        {"letters and digits", "AZaz09", "AZaz09"},
        {"empty", "", ""},
        {"plus is not a blank", "a+b", "a%2Bb"},
        {"percent", "100%", "100%25"},
        {"query delimiters", "a&b=c?d#e", "a%26b%3Dc%3Fd%23e"},
        {"sub-delimiters", "!*'();:@$,", "%21%2A%27%28%29%3B%3A%40%24%2C"},
        {"high byte in upper-case hex", std::string("\xFF\x0A", 2), "%FF%0A"},
        {"NUL byte", std::string("a\0b", 3), "a%00b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BLSUtil::URLEncodedStringWithString(c.input), c.expected) << c.name;
    }
}

// Signatures cover the encoded query, so the service's stand-in and every
// earlier request agree on these bytes exactly.
TEST(StorageUtil, URLEncodingOfEveryByteValueAndOfTextBeyondASCIIIsFixed) {
    std::string everyByte;
    for (int value = 0; value < 256; ++value) everyByte += static_cast<char>(value);
    const std::string expected =
        "%00%01%02%03%04%05%06%07%08%09%0A%0B%0C%0D%0E%0F"
        "%10%11%12%13%14%15%16%17%18%19%1A%1B%1C%1D%1E%1F"
        "%20%21%22%23%24%25%26%27%28%29%2A%2B%2C-.%2F"
        "0123456789%3A%3B%3C%3D%3E%3F"
        "%40ABCDEFGHIJKLMNO"
        "PQRSTUVWXYZ%5B%5C%5D%5E_"
        "%60abcdefghijklmno"
        "pqrstuvwxyz%7B%7C%7D~%7F"
        "%80%81%82%83%84%85%86%87%88%89%8A%8B%8C%8D%8E%8F"
        "%90%91%92%93%94%95%96%97%98%99%9A%9B%9C%9D%9E%9F"
        "%A0%A1%A2%A3%A4%A5%A6%A7%A8%A9%AA%AB%AC%AD%AE%AF"
        "%B0%B1%B2%B3%B4%B5%B6%B7%B8%B9%BA%BB%BC%BD%BE%BF"
        "%C0%C1%C2%C3%C4%C5%C6%C7%C8%C9%CA%CB%CC%CD%CE%CF"
        "%D0%D1%D2%D3%D4%D5%D6%D7%D8%D9%DA%DB%DC%DD%DE%DF"
        "%E0%E1%E2%E3%E4%E5%E6%E7%E8%E9%EA%EB%EC%ED%EE%EF"
        "%F0%F1%F2%F3%F4%F5%F6%F7%F8%F9%FA%FB%FC%FD%FE%FF";
    EXPECT_EQ(BLSUtil::URLEncodedStringWithString(everyByte), expected);

    const std::pair<const char*, const char*> texts[] = {
        {"Bahnhof Z\xC3\xBCrich", "Bahnhof%20Z%C3%BCrich"},
        {"Weiche \xE2\x80\x93 links", "Weiche%20%E2%80%93%20links"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", "%E6%97%A5%E6%9C%AC"},
        {"\xF0\x9F\x9A\x82 Lok 18/201", "%F0%9F%9A%82%20Lok%2018%2F201"},
    };
    for (const auto& [text, encoded] : texts) {
        EXPECT_EQ(BLSUtil::URLEncodedStringWithString(text), encoded) << encoded;
    }
}

TEST(StorageUtil, QueryParsingSplitsDecodesAndJoinsRepeatedKeys) {
    using Map = std::map<std::string, std::string>;
    struct Case {
        const char* name;
        std::optional<std::string> query;
        Map expected;
    };
    const Case cases[] = {
        {"nil", std::nullopt, {}},
        {"empty", "", {}},
        {"question mark alone", "?", {}},
        {"leading question mark dropped", "?a=1&b=2", {{"a", "1"}, {"b", "2"}}},
        {"piece without = under the empty key", "flag", {{"", "flag"}}},
        {"repeated key joins with a comma", "a=1&a=2", {{"a", "1,2"}}},
        {"escapes decoded in keys and values", "%61%62=%20x%26y", {{"ab", " x&y"}}},
        {"plus stays plus", "a+b=c+d", {{"a+b", "c+d"}}},
        {"only the first = splits", "x=1=2", {{"x", "1=2"}}},
        {"leading = keeps the whole piece", "=v", {{"", "=v"}}},
        {"empty value", "a=", {{"a", ""}}},
        {"broken escape skips only its piece", "a=%zz&b=2&%4=1", {{"b", "2"}}},
        {"UTF-8 escapes", "city=Z%C3%BCrich", {{"city", "Z\xC3\xBCrich"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BLSUtil::parseQueryWithQueryString(c.query), c.expected) << c.name;
    }
}

TEST(StorageUtil, PathStyleForAddressesWithoutDnsName) {
    struct Case {
        const char* name;
        const char* url;
        bool pathStyle;
    };
    const Case cases[] = {
        {"usual service address", "https://acct.blob.example.net/layouts", false},
        {"service address on a development port", "http://acct.blob.example.net:10000/layouts", false},
        {"DNS host on another port", "https://storage.example.org:8443/layouts", false},
        {"IPv4 development storage", "http://127.0.0.1:10000/localaccount1/layouts", true},
        {"IPv4 on another port", "http://192.168.1.20:8080/acct/layouts", true},
        {"IPv4 without port", "http://10.1.2.3/acct", true},
        {"IPv6 development storage", "http://[::1]:10000/localaccount1", true},
        {"IPv6 without port", "http://[2001:db8::7]/acct", true},
        {"localhost", "http://localhost:10000/acct", true},
        {"localhost in capitals", "http://LocalHost/acct", true},
        {"no host", "file:///tmp/acct/layouts", true},
        {"dotted name that is no address", "http://10.0.0.256/acct", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BLSUtil::usePathStyleAddressing(testUrl(c.url)), c.pathStyle) << c.name;
    }
    EXPECT_FALSE(BLSUtil::usePathStyleAddressing(std::nullopt));
    EXPECT_TRUE(BLSUtil::isPathDnsNameWithHost(""));
    EXPECT_FALSE(BLSUtil::isPathDnsNameWithHost("acct.blob.example.net"));
}

TEST(StorageUtil, HttpDatesInEnglishAndUtc) {
    EXPECT_EQ(BLSUtil::convertDateToHttpString(at(946684800)), "Sat, 01 Jan 2000 00:00:00 GMT");
    // 2016-03-14 12:34:56.75 UTC, a Monday: fractions are dropped.
    EXPECT_EQ(BLSUtil::convertDateToHttpString(at(1457958896) + std::chrono::milliseconds(750)),
              "Mon, 14 Mar 2016 12:34:56 GMT");
    // One second before 1970 still floors to the right day.
    EXPECT_EQ(BLSUtil::convertDateToHttpString(at(-1)), "Wed, 31 Dec 1969 23:59:59 GMT");
    EXPECT_EQ(BLSUtil::convertDateToHttpString(std::nullopt), std::nullopt);

    EXPECT_EQ(BLSUtil::dateFromHttpString("Mon, 14 Mar 2016 12:34:56 GMT"), at(1457958896));
    const char* refused[] = {"Mon, 32 Mar 2016 12:34:56 GMT",
                             "Mon, 14 Foo 2016 12:34:56 GMT",
                             "Xyz, 14 Mar 2016 12:34:56 GMT",
                             "Mon, 14 Mar 2016 24:00:00 GMT",
                             "Mon, 14 Mar 2016 12:34:56 UTC",
                             "Mon, 14 Mar 2016 12:34:56",
                             "",
                             "Mon, 29 Feb 2015 00:00:00 GMT"};
    for (const char* text : refused) EXPECT_EQ(BLSUtil::dateFromHttpString(text), std::nullopt) << text;
}

TEST(StorageUtil, RoundTripAndSasTimes) {
    Date instant = at(1457958896) + std::chrono::nanoseconds(123456700);
    EXPECT_EQ(BLSUtil::convertDateToRoundtripString(instant), "2016-03-14T12:34:56.1234567Z");
    EXPECT_EQ(BLSUtil::dateFromRoundtripString("2016-03-14T12:34:56.1234567Z"), instant);
    EXPECT_EQ(BLSUtil::convertDateToRoundtripString(at(946684800)), "2000-01-01T00:00:00.0000000Z");
    EXPECT_EQ(BLSUtil::dateFromRoundtripString("2016-03-14T12:34:56Z"), std::nullopt);
    EXPECT_EQ(BLSUtil::dateFromRoundtripString("2016-13-14T12:34:56.1234567Z"), std::nullopt);

    EXPECT_EQ(BLSUtil::utcTimeOrEmptyWithDate(std::nullopt), "");
    EXPECT_EQ(BLSUtil::utcTimeOrEmptyWithDate(instant), "2016-03-14T12:34:56Z");
    EXPECT_EQ(BLSUtil::dateFromUtcTimeString("2030-01-01T00:00:00Z"), at(1893456000));
    EXPECT_EQ(BLSUtil::dateFromUtcTimeString("2030-01-01 00:00:00Z"), std::nullopt);
}

TEST(StorageUtil, DatesBeyondTheClockAreNoDatesButWideDatesHoldThem) {
    using namespace std::chrono;
    const auto latest = floor<BLSTicks>(Date::max());
    const auto earliest = ceil<BLSTicks>(Date::min());
    struct Case {
        const char* name;
        std::optional<Date> (*read)(std::string_view);
        const char* text;
        std::optional<Date> expected;
    };
    const Case cases[] = {
        {"HTTP year 9999", BLSUtil::dateFromHttpString, "Fri, 31 Dec 9999 23:59:59 GMT", std::nullopt},
        {"HTTP year 0015", BLSUtil::dateFromHttpString, "Thu, 01 Jan 0015 00:00:00 GMT", std::nullopt},
        {"HTTP year 0000", BLSUtil::dateFromHttpString, "Sat, 01 Jan 0000 00:00:00 GMT", std::nullopt},
        {"HTTP 1678", BLSUtil::dateFromHttpString, "Sat, 01 Jan 1678 00:00:00 GMT", Date(sys_days{year{1678} / 1 / 1})},
        {"HTTP 2261", BLSUtil::dateFromHttpString, "Tue, 31 Dec 2261 23:59:59 GMT",
         Date(sys_days{year{2261} / 12 / 31} + 23h + 59min + 59s)},
        {"HTTP second after the last", BLSUtil::dateFromHttpString, "Fri, 11 Apr 2262 23:47:17 GMT", std::nullopt},
        {"round trip, last tick", BLSUtil::dateFromRoundtripString, "2262-04-11T23:47:16.8547758Z",
         time_point_cast<Date::duration>(latest)},
        {"round trip, tick after", BLSUtil::dateFromRoundtripString, "2262-04-11T23:47:16.8547759Z", std::nullopt},
        {"round trip, first tick", BLSUtil::dateFromRoundtripString, "1677-09-21T00:12:43.1452242Z",
         time_point_cast<Date::duration>(earliest)},
        {"round trip, tick before", BLSUtil::dateFromRoundtripString, "1677-09-21T00:12:43.1452241Z", std::nullopt},
        {"round trip, year 9999", BLSUtil::dateFromRoundtripString, "9999-12-31T23:59:59.9999999Z", std::nullopt},
        {"SAS time, year 9999", BLSUtil::dateFromUtcTimeString, "9999-12-31T23:59:59Z", std::nullopt},
        {"SAS time, year 1066", BLSUtil::dateFromUtcTimeString, "1066-10-14T09:00:00Z", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(c.read(c.text), c.expected) << c.name;

    // The wide readers keep every four-digit year, to the tick.
    const auto never = sys_days{year{9999} / 12 / 31} + 23h + 59min + 59s;
    EXPECT_EQ(BLSUtil::wideDateFromUtcTimeString("9999-12-31T23:59:59Z"), never);
    EXPECT_EQ(BLSUtil::wideDateFromRoundtripString("9999-12-31T23:59:59.9999999Z"), never + BLSTicks(9999999));
    EXPECT_EQ(BLSUtil::wideDateFromRoundtripString("0000-01-01T00:00:00.0000001Z"),
              sys_days{year{0} / 1 / 1} + BLSTicks(1));
    EXPECT_EQ(BLSUtil::wideDateFromUtcTimeString("9999-12-32T00:00:00Z"), std::nullopt);
    EXPECT_EQ(BLSUtil::utcTimeOrEmptyWithWideDate(never), "9999-12-31T23:59:59Z");
    EXPECT_EQ(BLSUtil::utcTimeOrEmptyWithWideDate(sys_days{year{15} / 3 / 1} + 1h), "0015-03-01T01:00:00Z");
    EXPECT_EQ(BLSUtil::utcTimeOrEmptyWithWideDate(std::nullopt), "");
}

TEST(StorageUtil, OptionalHeadersJoinWithComma) {
    platform::net::URLRequest request(*testUrl("https://acct.blob.example.net/c"));
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-meta-a", std::optional<std::string>());
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-range-get-content-md5", std::optional<std::int64_t>());
    EXPECT_TRUE(request.headers.empty());

    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-meta-a", std::optional<std::string>("one"));
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-meta-a", std::optional<std::string>("two"));
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-sequence-number", std::optional<std::int64_t>(-42));
    ASSERT_NE(request.valueForHTTPHeaderField("x-bs-meta-a"), nullptr);
    EXPECT_EQ(*request.valueForHTTPHeaderField("x-bs-meta-a"), "one,two");
    EXPECT_EQ(*request.valueForHTTPHeaderField("x-bs-blob-sequence-number"), "-42");

    EXPECT_THROW(
        BLSUtil::addOptionalHeaderToRequest(request, "x-bs-meta-b", std::optional<std::string>("a\r\nInjected: yes")),
        platform::net::InvalidHeaderError);
    EXPECT_FALSE(request.headers.contains("Injected"));
}

TEST(StorageUtil, DigestsInBase64) {
    // Key bytes 00..1f:
    // printf 'abc' | openssl dgst -sha256 -mac HMAC -macopt
    //   hexkey:000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f -binary | base64
    BLSStorageCredentials credentials("acct", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=");
    EXPECT_EQ(BLSUtil::computeHmac256WithString("abc", *credentials.accountKey()),
              "8BM3KcQWPe3oHiHNR4OSVtpYFxI4yKDYdDl8c7FOHkc=");

    // printf '' | openssl dgst -md5 -binary | base64, and the same for the fox.
    EXPECT_EQ(BLSUtil::calculateMD5FromData({}), "1B2M2Y8AsgTpgAmY7PhCfg==");
    std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(BLSUtil::calculateMD5FromData(std::vector<std::uint8_t>(fox.begin(), fox.end())),
              "nhB9nTcrtoJr2B01QqQZ1g==");
}

TEST(StorageUtil, StreamAvailability) {
    auto stream = platform::OutputStream::toMemory();
    EXPECT_TRUE(BLSUtil::streamAvailable(stream.get()));  // not yet open
    stream->open();
    EXPECT_TRUE(BLSUtil::streamAvailable(stream.get()));
    stream->close();
    EXPECT_FALSE(BLSUtil::streamAvailable(stream.get()));
    EXPECT_FALSE(BLSUtil::streamAvailable(nullptr));
}

TEST(StorageUtil, ErrorChainsGrowAtTheirEnd) {
    auto fresh = BLSUtil::createErrorFromError(std::nullopt, "domain", 7, {{"k", std::string("v")}});
    EXPECT_EQ(fresh.domain(), "domain");
    EXPECT_EQ(fresh.code(), 7);
    ASSERT_NE(fresh.userInfoValue<std::string>("k"), nullptr);

    platform::Error inner("inner", 2);
    platform::Error outer("outer", 1, {{BLSErrorKey::InternalError, inner}});
    auto chained = BLSUtil::createErrorFromError(outer, "added", 3, {});
    EXPECT_EQ(chained.domain(), "outer");
    auto* second = chained.userInfoValue<platform::Error>(BLSErrorKey::InternalError);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->domain(), "inner");
    auto* third = second->userInfoValue<platform::Error>(BLSErrorKey::InternalError);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->domain(), "added");
    EXPECT_EQ(third->code(), 3);
    EXPECT_FALSE(third->hasUserInfo(BLSErrorKey::InternalError));
}

TEST(StorageUtil, OneOperationlessContext) {
    auto& first = BLSUtil::operationlessContext();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first.get(), BLSUtil::operationlessContext().get());
}
