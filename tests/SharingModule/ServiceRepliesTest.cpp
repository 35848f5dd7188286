// The sharing service's replies read on their own: storage signatures whose
// token must sign, and dates (of signatures and layouts) that no date holds.

#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/QLServiceReplies.h"
#include "SharingModule/Model/QLSharingErrors.h"
#include "platform/foundation/Value.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

namespace {

using platform::Value;
using Date = std::chrono::system_clock::time_point;

Value signatureReply(const std::string& token, const std::string& expiresOn = "2100-01-01T00:00:00Z") {
    return Value(Value::Dictionary{{"containerUrl", Value("https://blobs.example/acc/layouts")},
                                   {"sasToken", Value(token)},
                                   {"expiresOn", Value(expiresOn)}});
}

// A UTC date through the C library's calendar.
Date utcDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return std::chrono::system_clock::from_time_t(timegm(&fields));
}

}  // namespace

TEST(SharingReplies, SignatureTokensLoseOneQuestionMarkAndMustSign) {
    struct Kept {
        const char* token;
        const char* read;
    };
    for (const Kept& c :
         {Kept{"sv=2016-03-14&sr=c&sp=r&sig=ab%2Bc%3D", "sv=2016-03-14&sr=c&sp=r&sig=ab%2Bc%3D"},
          Kept{"?sv=1&sig=abc", "sv=1&sig=abc"}, Kept{"sig=abc", "sig=abc"},
          Kept{"spr=https,http&se=2100-01-01T00:00:00Z&sig=a", "spr=https,http&se=2100-01-01T00:00:00Z&sig=a"}}) {
        std::optional<platform::Error> error;
        auto signature = QLStorageSignature::signatureWithJSON(signatureReply(c.token), "layouts", error);
        ASSERT_TRUE(signature.has_value()) << c.token << ": " << error->localizedDescription();
        EXPECT_EQ(signature->sasToken, c.read);
    }
    // Each of these would have sent blob requests unsigned, or with a query
    // the storage client reads otherwise than the service wrote it.
    for (const char* token :
         {"?", "??", "??x", "??sig=abc", "sv=1", "sv=1&sig=", "sig", "=abc&sig=x", "&sig=x", "sv=1&&sig=x", "sig=x&",
          "sig=a b", "sig=a%zz", "sig=a%2", "sig=abc#x", "sig=ab?c", "sig=\xC3\xBC", "sig=a\tb"}) {
        std::optional<platform::Error> error;
        EXPECT_EQ(QLStorageSignature::signatureWithJSON(signatureReply(token), "layouts", error), std::nullopt)
            << token;
        ASSERT_TRUE(error.has_value()) << token;
        EXPECT_EQ(error->domain(), QLSharingErrorDomain) << token;
        EXPECT_EQ(error->code(), static_cast<long>(QLSharingErrorCode::InvalidReply)) << token;
    }
}

TEST(SharingReplies, DatesNoDateHoldsAreLeftOutOfSignaturesAndLayouts) {
    struct Case {
        const char* text;
        std::optional<Date> date;
    };
    const Case cases[] = {
        // Beyond what a date holds (1677-09-21T00:12:43Z to 2262-04-11T23:47:16Z): "always" and "never".
        {"0001-01-01T00:00:00Z", std::nullopt},
        {"1677-01-01T00:00:00Z", std::nullopt},
        {"2262-12-31T00:00:00Z", std::nullopt},
        {"9999-12-31T23:59:59Z", std::nullopt},
        {"9999-12-31", std::nullopt},
        // A lenient zone that takes the date out of reach: no date, never one wrapped round to 2262.
        {"1677-09-22T00:12:44+99", std::nullopt},
        {"2262-04-10T00:00:00-99", std::nullopt},
        // Just within reach.
        {"1677-09-22T00:00:00Z", utcDate(1677, 9, 22)},
        {"2262-04-11T00:00:00Z", utcDate(2262, 4, 11)},
        {"2262-04-13T00:00:00+99", utcDate(2262, 4, 8, 21)},
    };
    for (const Case& c : cases) {
        std::optional<platform::Error> error;
        auto signature =
            QLStorageSignature::signatureWithJSON(signatureReply("sv=1&sig=abc", c.text), "layouts", error);
        ASSERT_TRUE(signature.has_value()) << c.text << ": " << error->localizedDescription();
        EXPECT_EQ(signature->expiresOn, c.date) << c.text;

        error.reset();
        auto entity = QLLayoutEntity::entityWithJSON(
            Value(Value::Dictionary{{"id", Value("L1")}, {"title", Value("Harbour")}, {"uploadDate", Value(c.text)}}),
            error);
        ASSERT_NE(entity, nullptr) << c.text << ": " << error->localizedDescription();
        EXPECT_EQ(entity->uploadDate(), c.date) << c.text;
        EXPECT_EQ(entity->title(), "Harbour") << c.text;
    }

    // A text that is no date still refuses the reply.
    for (const char* text : {"yesterday", "9999-12-31T23:59:59Zx", "+99"}) {
        std::optional<platform::Error> error;
        EXPECT_EQ(QLStorageSignature::signatureWithJSON(signatureReply("sig=a", text), "layouts", error), std::nullopt)
            << text;
        error.reset();
        EXPECT_EQ(QLLayoutEntity::entityWithJSON(
                      Value(Value::Dictionary{{"id", Value("L1")}, {"uploadDate", Value(text)}}), error),
                  nullptr)
            << text;
        ASSERT_TRUE(error.has_value()) << text;
        EXPECT_NE(error->localizedDescription().find("\"uploadDate\""), std::string::npos) << text;
    }
}
