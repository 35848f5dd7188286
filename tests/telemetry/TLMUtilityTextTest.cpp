// The start string, digests, pretty JSON, masking and the application hooks.

#include "tests/telemetry/TLMLogCapture.h"

#include "telemetry/core/Util/TLMUtility.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Value.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

TEST(TLMUtilityStartString, SecretsAndTokensInAnyOrder) {
    EXPECT_EQ(TLMUtility::appSecretFrom("target=tok-1;appsecret=s3cret"), "s3cret");
    EXPECT_EQ(TLMUtility::transmissionTargetTokenFrom("target=tok-1;appsecret=s3cret"), "tok-1");
    EXPECT_EQ(TLMUtility::appSecretFrom("appsecret=s3cret;target=tok-1"), "s3cret");
    // No "=" at all: the whole string is the secret.
    EXPECT_EQ(TLMUtility::appSecretFrom("bare-secret"), "bare-secret");
    EXPECT_EQ(TLMUtility::transmissionTargetTokenFrom("bare-secret"), std::nullopt);
    // With a platform part only that part counts.
    EXPECT_EQ(TLMUtility::appSecretFrom("android=a1;ios=i1;macos=m1"), "i1");
    EXPECT_EQ(TLMUtility::appSecretFrom("android=a1;target=t;ios=i1"), "i1");
    EXPECT_EQ(TLMUtility::appSecretFrom("android=a1;macos=m1;ios="), std::nullopt);
    // Only a token: no secret.
    EXPECT_EQ(TLMUtility::appSecretFrom("target=tok"), std::nullopt);
    EXPECT_EQ(TLMUtility::transmissionTargetTokenFrom("target=tok"), "tok");
    // Empty parts and an empty token are skipped.
    EXPECT_EQ(TLMUtility::appSecretFrom(";;s;"), "s");
    EXPECT_EQ(TLMUtility::transmissionTargetTokenFrom("target=;target=second"), "second");
    EXPECT_EQ(TLMUtility::appSecretFrom(""), std::nullopt);
}

TEST(TLMUtilityText, DigestPrettyJsonAndMasking) {
    EXPECT_EQ(TLMUtility::sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    EXPECT_EQ(TLMUtility::prettyPrintJson(std::nullopt), std::nullopt);
    const std::string broken = "{\"a\": [1,";
    EXPECT_EQ(TLMUtility::prettyPrintJson(TLMUtility::Data(broken.begin(), broken.end())), broken);
    const std::string json = R"({"url":"https:\/\/example.org\/x","n":[1,2]})";
    const auto pretty = TLMUtility::prettyPrintJson(TLMUtility::Data(json.begin(), json.end()));
    ASSERT_TRUE(pretty);
    EXPECT_NE(pretty->find("\"https://example.org/x\""), std::string::npos) << *pretty;
    EXPECT_EQ(pretty->find("\\/"), std::string::npos);
    EXPECT_NE(pretty->find('\n'), std::string::npos);
    // A backslash before a slash in a value is data: it must read back as it was.
    const std::string slashes = R"({"path":"a\\/b"})";
    const auto kept = TLMUtility::prettyPrintJson(TLMUtility::Data(slashes.begin(), slashes.end()));
    ASSERT_TRUE(kept);
    const auto reread = platform::Value::fromJson(*kept);
    ASSERT_TRUE(reread && reread->isDictionary());
    EXPECT_EQ(*reread->asDictionary()->at("path").asString(), "a\\/b");

    // The ingestion's mask of tokens in logged answers: case-insensitive,
    // every match, groups usable in the template.
    const std::string pattern = R"("token"\s*:\s*"[^"]+")";
    EXPECT_EQ(TLMUtility::obfuscateString(R"({"Token" : "abc", "x": 1, "token":"def"})", pattern, R"("token" : "***")"),
              R"({"token" : "***", "x": 1, "token" : "***"})");
    EXPECT_EQ(TLMUtility::obfuscateString("key=42", "key=(\\d+)", "key=[$1]"), "key=[42]");
    // A hostile answer with a huge token is masked, not a stack overflow.
    const std::string huge = "{\"token\":\"" + std::string(4 << 20, 'x') + "\"}";
    EXPECT_EQ(TLMUtility::obfuscateString(huge, pattern, R"("token" : "***")"), R"({"token" : "***"})");

    TLMLogCapture capture;
    EXPECT_EQ(TLMUtility::obfuscateString("text", "(unclosed", "x"), std::nullopt);
    const auto errors = capture.linesAt(TLMLogLevelError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message.rfind("Couldn't create regular expression with pattern\"(unclosed\": ", 0), 0u);
}

namespace {

class FakeApplication final : public TLMApplicationInterface {
public:
    long applicationState() override { return 2; }
    bool canOpenURL(const std::string& url) override { return url.starts_with("https:"); }
    void openURL(const std::string& url, std::function<void(bool)> completion) override {
        opened.push_back(url);
        completion(url != "https://refused.example");
    }
    std::vector<std::string> opened;
};

}  // namespace

TEST(TLMUtilityApplication, StateAndOpeningUrlsGoThroughTheApplication) {
    TLMUtility::setSharedApp(nullptr);
    EXPECT_EQ(TLMUtility::applicationState(), 3);
    long result = 0;
    TLMUtility::sharedAppOpenUrl("https://example.org", [&](long outcome) { result = outcome; });
    EXPECT_EQ(result, 2);  // no application: at once
    // A plain installation is a store build.
    EXPECT_EQ(TLMUtility::currentAppEnvironment(), 0);

    auto application = std::make_shared<FakeApplication>();
    TLMUtility::setSharedApp(application);
    EXPECT_EQ(TLMUtility::applicationState(), 2);

    std::vector<long> outcomes;
    TLMUtility::sharedAppOpenUrl("mailto:someone", [&](long outcome) { outcomes.push_back(outcome); });
    EXPECT_EQ(outcomes, std::vector<long>{2});  // cannot be opened: at once
    TLMUtility::sharedAppOpenUrl("https://example.org", [&](long outcome) { outcomes.push_back(outcome); });
    TLMUtility::sharedAppOpenUrl("https://refused.example", [&](long outcome) { outcomes.push_back(outcome); });
    platform::RunLoop::main()->runUntil([&] { return outcomes.size() == 3; }, 5s);
    EXPECT_EQ(outcomes, (std::vector<long>{2, 1, 2}));
    EXPECT_EQ(application->opened, (std::vector<std::string>{"https://example.org", "https://refused.example"}));
    TLMUtility::setSharedApp(nullptr);
}
