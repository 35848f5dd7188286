// Request results: what one attempt records from its response headers.

#include "storage/BLSRequestResult.h"

#include "storage/BLSErrors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::system_clock;

platform::net::HTTPURLResponse responseWith(int status,
                                            const std::vector<std::pair<std::string, std::string>>& headers) {
    platform::net::HTTPURLResponse response;
    response.statusCode = status;
    for (const auto& [name, value] : headers) {
        response.headers.set(name, value);
    }
    return response;
}

// Runs the test body in a time zone far from UTC, restoring the old one.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            mOld = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (mOld) {
            ::setenv("TZ", mOld->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> mOld;
};

TEST(RequestResultTest, PlaceholderBeforeSending) {
    const auto start = Clock::now() - std::chrono::seconds(3);
    const auto before = Clock::now();
    BLSRequestResult result(start, BLSStorageLocationSecondary);
    const auto after = Clock::now();
    EXPECT_FALSE(result.responseAvailable());
    EXPECT_EQ(result.targetLocation(), BLSStorageLocationSecondary);
    EXPECT_EQ(result.startTime(), start);
    EXPECT_GE(result.endTime(), before);
    EXPECT_LE(result.endTime(), after);
    EXPECT_FALSE(result.response());
    EXPECT_FALSE(result.error());
    EXPECT_FALSE(result.serviceRequestID());
    EXPECT_FALSE(result.serviceRequestDate());
    EXPECT_EQ(result.contentReceivedLength(), 0u);
    EXPECT_FALSE(result.calculatedResponseMD5());
}

TEST(RequestResultTest, ReadsTheServiceHeaders) {
    ScopedTimeZone zone("America/Los_Angeles");
    const auto start = Clock::now();
    auto response = responseWith(201, {{"x-bs-request-id", "b1d6e0a4-0001-0000-0000-000000000000"},
                                       {"Date", "Sun, 06 Nov 1994 08:49:37 GMT"},
                                       {"Content-Length", "1234"},
                                       {"Content-MD5", "1B2M2Y8AsgTpgAmY7PhCfg=="},
                                       {"ETag", "\"0x8D5B1A2B3C4D5E6\""}});
    BLSRequestResult result(start, BLSStorageLocationPrimary, response, std::nullopt);
    EXPECT_TRUE(result.responseAvailable());
    EXPECT_EQ(result.targetLocation(), BLSStorageLocationPrimary);
    ASSERT_TRUE(result.response());
    EXPECT_EQ(result.response()->statusCode, 201);
    EXPECT_EQ(result.serviceRequestID(), "b1d6e0a4-0001-0000-0000-000000000000");
    ASSERT_TRUE(result.serviceRequestDate());
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(result.serviceRequestDate()->time_since_epoch()).count(),
              784111777);
    EXPECT_EQ(result.contentReceivedLength(), 1234u);
    EXPECT_EQ(result.contentReceivedMD5(), "1B2M2Y8AsgTpgAmY7PhCfg==");
    EXPECT_EQ(result.etag(), "\"0x8D5B1A2B3C4D5E6\"");
    EXPECT_FALSE(result.error());
}

TEST(RequestResultTest, HeaderNamesIgnoreCase) {
    auto response = responseWith(200, {{"X-BS-REQUEST-ID", "abc"}, {"etag", "\"1\""}, {"content-length", "7"}});
    BLSRequestResult result(Clock::now(), BLSStorageLocationPrimary, response, std::nullopt);
    EXPECT_EQ(result.serviceRequestID(), "abc");
    EXPECT_EQ(result.etag(), "\"1\"");
    EXPECT_EQ(result.contentReceivedLength(), 7u);
}

TEST(RequestResultTest, MissingAndMalformedHeaders) {
    auto response = responseWith(200, {{"Date", "yesterday"}});
    BLSRequestResult result(Clock::now(), BLSStorageLocationPrimary, response, std::nullopt);
    EXPECT_FALSE(result.serviceRequestID());
    EXPECT_FALSE(result.serviceRequestDate());
    EXPECT_EQ(result.contentReceivedLength(), 0u);
    EXPECT_FALSE(result.contentReceivedMD5());
    EXPECT_FALSE(result.etag());

    // A service clock in a year no system clock value holds: no date (it
    // was once read as some year in between).
    for (const char* date : {"Fri, 31 Dec 9999 23:59:59 GMT", "Thu, 01 Jan 0015 00:00:00 GMT"}) {
        BLSRequestResult farOff(Clock::now(), BLSStorageLocationPrimary,
                                responseWith(200, {{"Date", date}, {"ETag", "\"x\""}}), std::nullopt);
        EXPECT_FALSE(farOff.serviceRequestDate()) << date;
        EXPECT_EQ(farOff.etag(), "\"x\"") << date;
    }
}

TEST(RequestResultTest, ContentLengthText) {
    struct Case {
        const char* name;
        const char* text;
        std::uint64_t expected;
    };
    const std::vector<Case> cases = {
        {"plain number", "1234", 1234},
        {"zero", "0", 0},
        {"leading blanks", "  42", 42},
        {"plus sign", "+17", 17},
        {"digits then garbage", "12abc", 12},
        {"garbage", "garbage", 0},
        {"empty", "", 0},
        {"negative", "-5", 0},
        {"largest signed 64-bit", "9223372036854775807", 9223372036854775807ULL},
        {"beyond signed 64-bit saturates", "18446744073709551615", 9223372036854775807ULL},
        {"far beyond saturates", "99999999999999999999999", 9223372036854775807ULL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BLSRequestResult::contentLengthFromHeader(c.text), c.expected);
        if (*c.text != '\0' && *c.text != ' ') {
            auto response = responseWith(200, {{"Content-Length", c.text}});
            BLSRequestResult result(Clock::now(), BLSStorageLocationPrimary, response, std::nullopt);
            EXPECT_EQ(result.contentReceivedLength(), c.expected);
        }
    }
}

TEST(RequestResultTest, EndedWithoutResponse) {
    const auto transport = platform::Error("transport", 7);
    BLSRequestResult result(Clock::now(), BLSStorageLocationSecondary, std::nullopt,
                            BLSMakeError(BLSErrorCode::URLSessionError, {{BLSErrorKey::InnerError, transport}}));
    EXPECT_TRUE(result.responseAvailable());
    EXPECT_FALSE(result.response());
    ASSERT_TRUE(result.error());
    EXPECT_TRUE(BLSIsError(*result.error(), BLSErrorCode::URLSessionError));
    const auto* inner = result.error()->userInfoValue<platform::Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->domain(), "transport");
    EXPECT_EQ(result.contentReceivedLength(), 0u);
}

TEST(RequestResultTest, CalculatedMD5IsSetLater) {
    BLSRequestResult result(Clock::now(), BLSStorageLocationPrimary, responseWith(200, {}), std::nullopt);
    EXPECT_FALSE(result.calculatedResponseMD5());
    result.setCalculatedResponseMD5(std::string("XrY7u+Ae7tCTyyK7j1rNww=="));
    EXPECT_EQ(result.calculatedResponseMD5(), "XrY7u+Ae7tCTyyK7j1rNww==");
}

}  // namespace
