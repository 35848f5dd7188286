// Request options: defaults, explicit-value flags, copies with their expiry
// time, and the combination of a call's options with a client's defaults.

#include "storage/BLSRequestOptions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>

namespace {

using Clock = std::chrono::system_clock;
using std::chrono::seconds;

void expectAllDefaults(const BLSBlobRequestOptions& o) {
    EXPECT_EQ(o.runLoopForDownload(), nullptr);
    EXPECT_EQ(o.serverTimeout(), 30.0);
    EXPECT_EQ(o.maximumDownloadBufferSize(), 1048576u);
    EXPECT_EQ(o.maximumExecutionTime(), 600.0);
    EXPECT_EQ(o.storageLocationMode(), BLSStorageLocationModePrimaryOnly);
    EXPECT_EQ(o.parallelismFactor(), 3);
    EXPECT_FALSE(o.useTransactionalMD5());
    EXPECT_FALSE(o.storeBlobContentMD5());
    EXPECT_FALSE(o.disableContentMD5Validation());
    EXPECT_FALSE(o.absorbConditionalErrorsOnRetry());
}

void expectNoFlags(const BLSBlobRequestOptions& o) {
    EXPECT_FALSE(o.runLoopForDownloadSet());
    EXPECT_FALSE(o.serverTimeoutSet());
    EXPECT_FALSE(o.maximumDownloadBufferSizeSet());
    EXPECT_FALSE(o.maximumExecutionTimeSet());
    EXPECT_FALSE(o.storageLocationModeSet());
    EXPECT_FALSE(o.useTransactionalMD5Set());
    EXPECT_FALSE(o.storeBlobContentMD5Set());
    EXPECT_FALSE(o.disableContentMD5ValidationSet());
    EXPECT_FALSE(o.parallelismFactorSet());
    EXPECT_FALSE(o.absorbConditionalErrorsOnRetrySet());
}

// The expiry lies `budget` after some moment within [before, after].
void expectExpiryBetween(const BLSRequestOptions& o, Clock::time_point before, Clock::time_point after,
                         seconds budget) {
    ASSERT_TRUE(o.operationExpiryTime().has_value());
    EXPECT_GE(*o.operationExpiryTime(), before + budget);
    EXPECT_LE(*o.operationExpiryTime(), after + budget);
}

}  // namespace

TEST(RequestOptions, NewOptionsHaveTheDefaultsNoFlagsAndNoExpiry) {
    BLSBlobRequestOptions options;
    expectAllDefaults(options);
    expectNoFlags(options);
    EXPECT_FALSE(options.operationExpiryTime().has_value());

    auto fromNothing = BLSBlobRequestOptions::copyOptions(nullptr);
    ASSERT_NE(fromNothing, nullptr);
    expectAllDefaults(*fromNothing);
    expectNoFlags(*fromNothing);
    EXPECT_FALSE(fromNothing->operationExpiryTime().has_value());
}

TEST(RequestOptions, EachSetterSetsItsOwnFlagOnly) {
    struct Case {
        const char* name;
        void (*set)(BLSBlobRequestOptions&);
        bool (BLSBlobRequestOptions::*flag)() const;
    };
    const Case cases[] = {
        {"serverTimeout", [](BLSBlobRequestOptions& o) { o.setServerTimeout(30.0); },
         &BLSBlobRequestOptions::serverTimeoutSet},
        {"maximumDownloadBufferSize", [](BLSBlobRequestOptions& o) { o.setMaximumDownloadBufferSize(1048576); },
         &BLSBlobRequestOptions::maximumDownloadBufferSizeSet},
        {"maximumExecutionTime", [](BLSBlobRequestOptions& o) { o.setMaximumExecutionTime(600.0); },
         &BLSBlobRequestOptions::maximumExecutionTimeSet},
        {"storageLocationMode",
         [](BLSBlobRequestOptions& o) { o.setStorageLocationMode(BLSStorageLocationModePrimaryOnly); },
         &BLSBlobRequestOptions::storageLocationModeSet},
        {"runLoopForDownload", [](BLSBlobRequestOptions& o) { o.setRunLoopForDownload(nullptr); },
         &BLSBlobRequestOptions::runLoopForDownloadSet},
        {"useTransactionalMD5", [](BLSBlobRequestOptions& o) { o.setUseTransactionalMD5(false); },
         &BLSBlobRequestOptions::useTransactionalMD5Set},
        {"storeBlobContentMD5", [](BLSBlobRequestOptions& o) { o.setStoreBlobContentMD5(false); },
         &BLSBlobRequestOptions::storeBlobContentMD5Set},
        {"disableContentMD5Validation", [](BLSBlobRequestOptions& o) { o.setDisableContentMD5Validation(false); },
         &BLSBlobRequestOptions::disableContentMD5ValidationSet},
        {"parallelismFactor", [](BLSBlobRequestOptions& o) { o.setParallelismFactor(3); },
         &BLSBlobRequestOptions::parallelismFactorSet},
        {"absorbConditionalErrorsOnRetry", [](BLSBlobRequestOptions& o) { o.setAbsorbConditionalErrorsOnRetry(false); },
         &BLSBlobRequestOptions::absorbConditionalErrorsOnRetrySet},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSBlobRequestOptions options;
        // Setting the default value still counts as set.
        c.set(options);
        for (const Case& other : cases) {
            EXPECT_EQ((options.*other.flag)(), &other == &c) << other.name;
        }
        EXPECT_FALSE(options.operationExpiryTime().has_value());
    }
}

TEST(RequestOptions, CopyKeepsTheSetValuesAndFixesTheExpiryTime) {
    BLSBlobRequestOptions options;
    options.setServerTimeout(10);

    const auto before = Clock::now();
    auto copy = options.copy();
    const auto after = Clock::now();

    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), &options);
    EXPECT_EQ(copy->serverTimeout(), 10.0);
    EXPECT_TRUE(copy->serverTimeoutSet());
    EXPECT_EQ(copy->maximumDownloadBufferSize(), 1048576u);
    EXPECT_FALSE(copy->maximumDownloadBufferSizeSet());
    EXPECT_EQ(copy->maximumExecutionTime(), 600.0);
    EXPECT_FALSE(copy->maximumExecutionTimeSet());
    EXPECT_EQ(copy->parallelismFactor(), 3);
    EXPECT_FALSE(copy->parallelismFactorSet());
    expectExpiryBetween(*copy, before, after, seconds(600));
    // The original is untouched by being copied.
    EXPECT_FALSE(options.operationExpiryTime().has_value());

    auto viaClassMethod = BLSBlobRequestOptions::copyOptions(&options);
    EXPECT_EQ(viaClassMethod->serverTimeout(), 10.0);
    EXPECT_TRUE(viaClassMethod->operationExpiryTime().has_value());
}

TEST(RequestOptions, CopyCarriesEveryExplicitValue) {
    BLSBlobRequestOptions options;
    options.setServerTimeout(12.5);
    options.setMaximumDownloadBufferSize(5ull << 32);
    options.setMaximumExecutionTime(45);
    options.setStorageLocationMode(BLSStorageLocationModeSecondaryThenPrimary);
    options.setUseTransactionalMD5(true);
    options.setStoreBlobContentMD5(true);
    options.setDisableContentMD5Validation(true);
    options.setAbsorbConditionalErrorsOnRetry(true);
    options.setParallelismFactor(8);

    const auto before = Clock::now();
    auto copy = options.copy();
    const auto after = Clock::now();

    EXPECT_EQ(copy->serverTimeout(), 12.5);
    EXPECT_EQ(copy->maximumDownloadBufferSize(), 5ull << 32);
    EXPECT_EQ(copy->maximumExecutionTime(), 45.0);
    EXPECT_EQ(copy->storageLocationMode(), BLSStorageLocationModeSecondaryThenPrimary);
    EXPECT_TRUE(copy->useTransactionalMD5());
    EXPECT_TRUE(copy->storeBlobContentMD5());
    EXPECT_TRUE(copy->disableContentMD5Validation());
    EXPECT_TRUE(copy->absorbConditionalErrorsOnRetry());
    EXPECT_EQ(copy->parallelismFactor(), 8);
    EXPECT_TRUE(copy->storageLocationModeSet());
    EXPECT_TRUE(copy->absorbConditionalErrorsOnRetrySet());
    EXPECT_FALSE(copy->runLoopForDownloadSet());
    // The budget is the copied one, not the default 600 seconds.
    expectExpiryBetween(*copy, before, after, seconds(45));
}

TEST(RequestOptions, ApplyingDefaults) {
    {
        SCOPED_TRACE("options with nothing set change no value but fix the expiry time");
        BLSBlobRequestOptions target;
        target.setServerTimeout(7);
        target.setParallelismFactor(2);
        BLSBlobRequestOptions empty;
        const auto before = Clock::now();
        BLSRequestOptions& result = target.applyDefaultsFromOptions(&empty);
        const auto after = Clock::now();
        EXPECT_EQ(&result, &target);
        EXPECT_EQ(target.serverTimeout(), 7.0);
        EXPECT_EQ(target.parallelismFactor(), 2);
        EXPECT_EQ(target.maximumExecutionTime(), 600.0);
        EXPECT_FALSE(target.maximumExecutionTimeSet());
        expectExpiryBetween(target, before, after, seconds(600));
    }
    {
        SCOPED_TRACE("nullptr changes nothing, not even the expiry time");
        BLSBlobRequestOptions target;
        target.setServerTimeout(7);
        EXPECT_EQ(&target.applyDefaultsFromOptions(nullptr), &target);
        EXPECT_EQ(target.serverTimeout(), 7.0);
        EXPECT_FALSE(target.operationExpiryTime().has_value());
    }
    {
        SCOPED_TRACE("explicit values of the other options replace the receiver's");
        BLSBlobRequestOptions target;
        target.setServerTimeout(7);
        target.setUseTransactionalMD5(false);
        BLSBlobRequestOptions other;
        other.setServerTimeout(20);
        other.setUseTransactionalMD5(true);
        target.applyDefaultsFromOptions(&other);
        EXPECT_EQ(target.serverTimeout(), 20.0);
        EXPECT_TRUE(target.useTransactionalMD5());
    }
    {
        SCOPED_TRACE("plain options lend only the common values to blob options");
        BLSRequestOptions plain;
        plain.setServerTimeout(5);
        BLSBlobRequestOptions target;
        target.setParallelismFactor(9);
        target.applyDefaultsFromOptions(&plain);
        EXPECT_EQ(target.serverTimeout(), 5.0);
        EXPECT_TRUE(target.serverTimeoutSet());
        EXPECT_EQ(target.parallelismFactor(), 9);
    }
    {
        SCOPED_TRACE("budgets beyond the clock's range saturate instead of wrapping");
        const double inf = std::numeric_limits<double>::infinity();
        const auto farFuture = Clock::now() + std::chrono::hours(24 * 365 * 100);
        const auto farPast = Clock::now() - std::chrono::hours(24 * 365 * 100);
        for (double budget : {1e300, inf, 2e9}) {
            BLSBlobRequestOptions target;
            target.setMaximumExecutionTime(budget);
            target.applyDefaultsFromOptions(&target);
            ASSERT_TRUE(target.operationExpiryTime().has_value());
            EXPECT_GT(*target.operationExpiryTime(), budget > 1e10 ? farFuture : Clock::now()) << budget;
        }
        for (double budget : {-1e300, -inf, -2e10}) {
            BLSBlobRequestOptions target;
            target.setMaximumExecutionTime(budget);
            target.applyDefaultsFromOptions(&target);
            ASSERT_TRUE(target.operationExpiryTime().has_value());
            EXPECT_LT(*target.operationExpiryTime(), farPast) << budget;
        }
        BLSBlobRequestOptions notANumber;
        notANumber.setMaximumExecutionTime(std::numeric_limits<double>::quiet_NaN());
        const auto before = Clock::now();
        notANumber.applyDefaultsFromOptions(&notANumber);
        const auto after = Clock::now();
        expectExpiryBetween(notANumber, before, after, seconds(0));
    }
}

// The caller's explicit values win over the client's defaults; the client's
// defaults fill only what the caller left unset.
TEST(RequestOptions, CombiningCallOptionsWithClientDefaults) {
    BLSBlobRequestOptions call10;
    call10.setServerTimeout(10);
    BLSBlobRequestOptions client20;
    client20.setServerTimeout(20);
    client20.setParallelismFactor(6);
    BLSBlobRequestOptions clientNothing;

    {
        SCOPED_TRACE("the caller's timeout wins over the client's");
        auto combined = BLSBlobRequestOptions::combine(&call10, &client20);
        EXPECT_EQ(combined->serverTimeout(), 10.0);
        EXPECT_EQ(combined->parallelismFactor(), 6);  // filled from the client
        EXPECT_TRUE(combined->parallelismFactorSet());
        EXPECT_TRUE(combined->operationExpiryTime().has_value());
    }
    {
        SCOPED_TRACE("client defaults that set nothing leave the caller's value");
        auto combined = BLSBlobRequestOptions::combine(&call10, &clientNothing);
        EXPECT_EQ(combined->serverTimeout(), 10.0);
        EXPECT_EQ(combined->parallelismFactor(), 3);
        EXPECT_FALSE(combined->parallelismFactorSet());
    }
    {
        SCOPED_TRACE("no call options: the client's defaults apply");
        const auto before = Clock::now();
        auto combined = BLSBlobRequestOptions::combine(nullptr, &client20);
        const auto after = Clock::now();
        EXPECT_EQ(combined->serverTimeout(), 20.0);
        EXPECT_EQ(combined->parallelismFactor(), 6);
        expectExpiryBetween(*combined, before, after, seconds(600));
    }
    {
        SCOPED_TRACE("call options without client defaults: a copy");
        auto combined = BLSBlobRequestOptions::combine(&call10, nullptr);
        EXPECT_EQ(combined->serverTimeout(), 10.0);
        EXPECT_TRUE(combined->operationExpiryTime().has_value());
    }
    {
        SCOPED_TRACE("neither: the defaults and no expiry time");
        auto combined = BLSBlobRequestOptions::combine(nullptr, nullptr);
        expectAllDefaults(*combined);
        expectNoFlags(*combined);
        EXPECT_FALSE(combined->operationExpiryTime().has_value());
    }
    {
        SCOPED_TRACE("the expiry uses the execution time that ends up in force");
        BLSBlobRequestOptions callUnset;
        callUnset.setServerTimeout(1);
        BLSBlobRequestOptions client60;
        client60.setMaximumExecutionTime(60);
        auto before = Clock::now();
        auto combined = BLSBlobRequestOptions::combine(&callUnset, &client60);
        auto after = Clock::now();
        EXPECT_EQ(combined->maximumExecutionTime(), 60.0);
        expectExpiryBetween(*combined, before, after, seconds(60));

        BLSBlobRequestOptions call30;
        call30.setMaximumExecutionTime(30);
        before = Clock::now();
        combined = BLSBlobRequestOptions::combine(&call30, &client60);
        after = Clock::now();
        EXPECT_EQ(combined->maximumExecutionTime(), 30.0);
        expectExpiryBetween(*combined, before, after, seconds(30));
    }
    {
        SCOPED_TRACE("combining changes neither input");
        auto combined = BLSBlobRequestOptions::combine(&call10, &client20);
        combined->setServerTimeout(99);
        EXPECT_EQ(call10.serverTimeout(), 10.0);
        EXPECT_FALSE(call10.parallelismFactorSet());
        EXPECT_FALSE(call10.operationExpiryTime().has_value());
        EXPECT_EQ(client20.serverTimeout(), 20.0);
        EXPECT_FALSE(client20.operationExpiryTime().has_value());
    }
}
