// The storage command: defaults, allowed locations under a lock, signing
// through a handler, and the default reading of error bodies.

#include "storage/BLSStorageCommand.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageCredentials.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Details = std::map<std::string, std::string>;

BLSStorageUri testUri() {
    return BLSStorageUri(platform::net::URL::parse("https://acct.blob.example.net/box"),
                         platform::net::URL::parse("https://acct-secondary.blob.example.net/box"));
}

std::shared_ptr<platform::OutputStream> memoryStreamWith(const std::string& text) {
    auto stream = platform::OutputStream::toMemory();
    stream->open();
    if (!text.empty()) {
        EXPECT_EQ(stream->write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                  static_cast<long>(text.size()));
    }
    return stream;
}

// A sink that keeps nothing in memory, like a file.
class DiscardingStream : public platform::OutputStream {
public:
    long write(const std::uint8_t*, std::size_t length) override { return static_cast<long>(length); }
};

platform::Error statusError() { return BLSMakeError(BLSErrorCode::ServerError, {{BLSErrorKey::HTTPStatusCode, 404L}}); }

TEST(StorageCommandTest, Defaults) {
    auto credentials = std::make_shared<BLSStorageCredentials>();
    auto context = std::make_shared<BLSOperationContext>();
    BLSStorageCommand plain(credentials, testUri(), context);
    EXPECT_FALSE(plain.calculateResponseMD5());
    EXPECT_EQ(plain.credentials(), credentials);
    ASSERT_TRUE(plain.storageUri());
    EXPECT_EQ(*plain.storageUri(), testUri());
    EXPECT_EQ(plain.allowedStorageLocation(), BLSAllowedStorageLocationPrimaryOnly);
    EXPECT_TRUE(plain.processError());
    EXPECT_FALSE(plain.signRequest());
    EXPECT_FALSE(plain.source());

    BLSStorageCommand download(credentials, testUri(), true, context);
    EXPECT_TRUE(download.calculateResponseMD5());
    EXPECT_EQ(download.allowedStorageLocation(), BLSAllowedStorageLocationPrimaryOnly);
}

TEST(StorageCommandTest, AllowedLocationUnderALock) {
    const std::string primaryConflict =
        "Cannot set storage location mode to secondary only if the location is already primary only.";
    const std::string secondaryConflict =
        "Cannot set storage location mode to primary only if the location is already secondary only.";
    struct Case {
        const char* name;
        std::optional<BLSStorageLocation> lock;
        BLSAllowedStorageLocation requested;
        BLSAllowedStorageLocation expected;
        std::optional<std::string> error;
    };
    const auto none = std::nullopt;
    const auto zero = static_cast<BLSStorageLocation>(0);
    const auto other = static_cast<BLSStorageLocation>(7);
    const std::vector<Case> cases = {
        {"no lock, secondary only", none, BLSAllowedStorageLocationSecondaryOnly,
         BLSAllowedStorageLocationSecondaryOnly, none},
        {"no lock, either", none, BLSAllowedStorageLocationPrimaryOrSecondary,
         BLSAllowedStorageLocationPrimaryOrSecondary, none},
        {"lock 0 is no lock", zero, BLSAllowedStorageLocationSecondaryOnly, BLSAllowedStorageLocationSecondaryOnly,
         none},
        {"primary lock, secondary only asked", BLSStorageLocationPrimary, BLSAllowedStorageLocationSecondaryOnly,
         BLSAllowedStorageLocationPrimaryOnly, primaryConflict},
        {"primary lock, either asked", BLSStorageLocationPrimary, BLSAllowedStorageLocationPrimaryOrSecondary,
         BLSAllowedStorageLocationPrimaryOnly, none},
        {"primary lock, primary asked", BLSStorageLocationPrimary, BLSAllowedStorageLocationPrimaryOnly,
         BLSAllowedStorageLocationPrimaryOnly, none},
        {"secondary lock, primary only asked", BLSStorageLocationSecondary, BLSAllowedStorageLocationPrimaryOnly,
         BLSAllowedStorageLocationSecondaryOnly, secondaryConflict},
        {"secondary lock, either asked", BLSStorageLocationSecondary, BLSAllowedStorageLocationPrimaryOrSecondary,
         BLSAllowedStorageLocationSecondaryOnly, none},
        {"unknown lock leaves the setting", other, BLSAllowedStorageLocationSecondaryOnly,
         BLSAllowedStorageLocationPrimaryOrSecondary, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSStorageCommand command(nullptr, testUri(), std::make_shared<BLSOperationContext>());
        command.setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
        std::optional<platform::Error> error;
        command.setAllowedStorageLocation(c.requested, c.lock, error);
        EXPECT_EQ(command.allowedStorageLocation(), c.expected);
        if (c.error) {
            ASSERT_TRUE(error);
            EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
            EXPECT_EQ(error->localizedDescription(), *c.error);
        } else {
            EXPECT_FALSE(error);
        }
    }
}

TEST(StorageCommandTest, SigningGoesThroughTheHandler) {
    class HeaderHandler : public BLSAuthenticationHandler {
    public:
        std::optional<platform::Error> signRequest(platform::net::URLRequest& request,
                                                   BLSOperationContext& context) override {
            request.setValue("SharedKey acct:" + context.clientRequestId(), "Authorization");
            return std::nullopt;
        }
    };
    class RefusingHandler : public BLSAuthenticationHandler {
    public:
        std::optional<platform::Error> signRequest(platform::net::URLRequest&, BLSOperationContext&) override {
            return BLSMakeInvalidArgumentError("no key");
        }
    };

    BLSStorageCommand command(nullptr, testUri(), std::make_shared<BLSOperationContext>());
    BLSOperationContext context;
    context.setClientRequestId("ID-1");
    command.setAuthenticationHandler(std::make_shared<HeaderHandler>());
    ASSERT_TRUE(command.signRequest());
    platform::net::URLRequest request;
    EXPECT_FALSE(command.signRequest()(request, context));
    ASSERT_NE(request.valueForHTTPHeaderField("Authorization"), nullptr);
    EXPECT_EQ(*request.valueForHTTPHeaderField("Authorization"), "SharedKey acct:ID-1");

    command.setAuthenticationHandler(std::make_shared<RefusingHandler>());
    auto refusal = command.signRequest()(request, context);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->localizedDescription(), "no key");

    command.setAuthenticationHandler(nullptr);
    EXPECT_FALSE(command.signRequest());
}

TEST(StorageCommandTest, EmptyOrMissingErrorBodyLeavesTheErrorUnchanged) {
    BLSStorageCommand command(nullptr, testUri(), std::make_shared<BLSOperationContext>());
    auto empty = memoryStreamWith("");
    DiscardingStream discarding;
    for (platform::OutputStream* stream :
         {static_cast<platform::OutputStream*>(empty.get()), static_cast<platform::OutputStream*>(&discarding),
          static_cast<platform::OutputStream*>(nullptr)}) {
        platform::Error error = statusError();
        std::optional<platform::Error> parseError;
        command.processError()(stream, error, parseError);
        EXPECT_FALSE(parseError);
        EXPECT_EQ(error.code(), 3);
        EXPECT_EQ(error.userInfo().size(), 1u);
        EXPECT_FALSE(error.hasUserInfo(BLSErrorKey::RawErrorData));
        EXPECT_FALSE(error.hasUserInfo(BLSErrorKey::AdditionalErrorDetails));
    }
}

TEST(StorageCommandTest, ErrorBodyIsKeptAndRead) {
    auto context = std::make_shared<BLSOperationContext>();
    std::vector<std::string> lines;
    context->setLogLevel(7);
    context->setLogFunction([&](BLSLogLevel, const std::string& text) { lines.push_back(text); });
    BLSStorageCommand command(nullptr, testUri(), context);

    const std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><Error><Code>BlobNotFound</Code>"
        "<Message>The specified blob does not exist.</Message><Extra>1</Extra></Error>";
    auto stream = memoryStreamWith(body);
    platform::Error error = statusError();
    std::optional<platform::Error> parseError;
    command.processError()(stream.get(), error, parseError);
    EXPECT_FALSE(parseError);
    EXPECT_EQ(error.domain(), BLSErrorDomain);
    EXPECT_EQ(error.code(), 3);
    const auto* raw = error.userInfoValue<std::vector<std::uint8_t>>(BLSErrorKey::RawErrorData);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(std::string(raw->begin(), raw->end()), body);
    ASSERT_NE(error.userInfoValue<long>(BLSErrorKey::HTTPStatusCode), nullptr);
    ASSERT_NE(error.userInfoValue<std::string>(BLSErrorKey::Code), nullptr);
    EXPECT_EQ(*error.userInfoValue<std::string>(BLSErrorKey::Code), "BlobNotFound");
    ASSERT_NE(error.userInfoValue<std::string>(BLSErrorKey::Message), nullptr);
    EXPECT_EQ(*error.userInfoValue<std::string>(BLSErrorKey::Message), "The specified blob does not exist.");
    const auto* details = error.userInfoValue<Details>(BLSErrorKey::AdditionalErrorDetails);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(*details, (Details{{"Extra", "1"}}));
    // The parse logged through the command's own context.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Beginning to parse element with name = Error");
}

TEST(StorageCommandTest, AVerdictOfOurOwnIsNotReadAsAnErrorBody) {
    // A successful answer refused here (say, a blob of another kind): what
    // reached memory is the blob, which must neither replace nor wrap the
    // refusal, even when it looks like an error body.
    BLSStorageCommand command(nullptr, testUri(), std::make_shared<BLSOperationContext>());
    auto stream = memoryStreamWith("<Error><Code>Looks</Code><Message>like one</Message></Error>");
    platform::Error error = BLSMakeInvalidArgumentError(
        "Blob type on the local object does not match blob type on "
        "the service.");
    std::optional<platform::Error> parseError;
    command.processError()(stream.get(), error, parseError);
    EXPECT_FALSE(parseError);
    EXPECT_TRUE(BLSIsError(error, BLSErrorCode::InvalidArgumentOrState));
    EXPECT_EQ(error.userInfo().size(), 1u);
    EXPECT_FALSE(error.hasUserInfo(BLSErrorKey::RawErrorData));
    EXPECT_FALSE(error.hasUserInfo(BLSErrorKey::Code));
}

TEST(StorageCommandTest, MalformedErrorBodyWrapsThePopulatedError) {
    BLSStorageCommand command(nullptr, testUri(), std::make_shared<BLSOperationContext>());
    const std::string body = "<Error><Code>ServerBusy</Code><Message>later</Massage></Error>";
    auto stream = memoryStreamWith(body);
    platform::Error error = statusError();
    std::optional<platform::Error> parseError;
    command.processError()(stream.get(), error, parseError);
    ASSERT_TRUE(parseError);
    EXPECT_TRUE(BLSIsError(*parseError, BLSErrorCode::ParseError));
    const auto* inner = parseError->userInfoValue<platform::Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    const auto* raw = inner->userInfoValue<std::vector<std::uint8_t>>(BLSErrorKey::RawErrorData);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(std::string(raw->begin(), raw->end()), body);
    ASSERT_NE(inner->userInfoValue<std::string>(BLSErrorKey::Code), nullptr);
    EXPECT_EQ(*inner->userInfoValue<std::string>(BLSErrorKey::Code), "ServerBusy");
    // The caller's error was replaced by the populated one too.
    EXPECT_TRUE(error.hasUserInfo(BLSErrorKey::RawErrorData));
    EXPECT_TRUE(error.hasUserInfo(BLSErrorKey::AdditionalErrorDetails));
}

TEST(StorageCommandTest, BodyAndContextlessCommand) {
    BLSStorageCommand command(nullptr, std::nullopt, nullptr);
    EXPECT_FALSE(command.storageUri());
    command.setSource(std::vector<std::uint8_t>{});
    ASSERT_TRUE(command.source());  // an empty body is still a body
    EXPECT_TRUE(command.source()->empty());

    // Without a context the error body is still read.
    auto stream = memoryStreamWith("<Error><Code>Busy</Code></Error>");
    platform::Error error = statusError();
    std::optional<platform::Error> parseError;
    command.processError()(stream.get(), error, parseError);
    EXPECT_FALSE(parseError);
    ASSERT_NE(error.userInfoValue<std::string>(BLSErrorKey::Code), nullptr);
    EXPECT_EQ(*error.userInfoValue<std::string>(BLSErrorKey::Code), "Busy");
}

}  // namespace
