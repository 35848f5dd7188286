// The status check and the reader of the service's Error bodies.

#include "storage/BLSResponseParser.h"

#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestResult.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Details = std::map<std::string, std::string>;

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

platform::Error statusError() { return BLSMakeError(BLSErrorCode::ServerError, {{BLSErrorKey::HTTPStatusCode, 403L}}); }

TEST(ResponseParserTest, StatusCheck) {
    auto context = std::make_shared<BLSOperationContext>();
    for (int status : {200, 201, 202, 204, 206}) {
        SCOPED_TRACE(status);
        platform::net::HTTPURLResponse response;
        response.statusCode = status;
        auto result = std::make_shared<BLSRequestResult>(std::chrono::system_clock::now(), BLSStorageLocationPrimary,
                                                         response, std::nullopt);
        EXPECT_FALSE(BLSResponseParser::preprocessResponseWithResponse(response, *result, *context));
    }
    for (int status : {100, 203, 205, 207, 304, 400, 404, 412, 500, 503}) {
        SCOPED_TRACE(status);
        platform::net::HTTPURLResponse response;
        response.statusCode = status;
        response.headers.set("x-bs-request-id", "req-" + std::to_string(status));
        auto result = std::make_shared<BLSRequestResult>(std::chrono::system_clock::now(), BLSStorageLocationPrimary,
                                                         response, std::nullopt);
        auto error = BLSResponseParser::preprocessResponseWithResponse(response, *result, *context);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), BLSErrorDomain);
        EXPECT_EQ(error->code(), 3);
        EXPECT_EQ(error->userInfo().size(), 4u);
        const long* code = error->userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
        ASSERT_NE(code, nullptr);
        EXPECT_EQ(*code, status);
        const auto* kept = error->userInfoValue<platform::net::HTTPURLResponse>(BLSErrorKey::URLResponse);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->statusCode, status);
        ASSERT_NE(kept->valueForHTTPHeaderField("x-bs-request-id"), nullptr);
        EXPECT_EQ(*kept->valueForHTTPHeaderField("x-bs-request-id"), "req-" + std::to_string(status));
        const auto* keptResult = error->userInfoValue<std::weak_ptr<BLSRequestResult>>(BLSErrorKey::RequestResult);
        ASSERT_NE(keptResult, nullptr);
        EXPECT_EQ(keptResult->lock().get(), result.get());
        const auto* keptContext =
            error->userInfoValue<std::weak_ptr<BLSOperationContext>>(BLSErrorKey::OperationContext);
        ASSERT_NE(keptContext, nullptr);
        EXPECT_EQ(keptContext->lock().get(), context.get());
    }
}

TEST(ResponseParserTest, StatusCheckOnObjectsNotSharedByPointer) {
    BLSOperationContext context;
    platform::net::HTTPURLResponse response;
    response.statusCode = 409;
    BLSRequestResult result(std::chrono::system_clock::now(), BLSStorageLocationPrimary, response, std::nullopt);
    auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, context);
    ASSERT_TRUE(error);
    const auto* keptResult = error->userInfoValue<std::weak_ptr<BLSRequestResult>>(BLSErrorKey::RequestResult);
    ASSERT_NE(keptResult, nullptr);
    EXPECT_TRUE(keptResult->expired());
    const auto* keptContext = error->userInfoValue<std::weak_ptr<BLSOperationContext>>(BLSErrorKey::OperationContext);
    ASSERT_NE(keptContext, nullptr);
    EXPECT_TRUE(keptContext->expired());
}

TEST(ResponseParserTest, ErrorBodyFillsTheError) {
    const std::string body =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<Error>\n"
        "  <Code>AuthenticationFailed</Code>\n"
        "  <Message>Server failed to authenticate the request &amp; gave up.\nRequestId:42</Message>\n"
        "  <AuthenticationErrorDetail>Signature did not match</AuthenticationErrorDetail>\n"
        "</Error>\n";
    BLSOperationContext context;
    platform::Error error = statusError();
    std::optional<platform::Error> parseError;
    BLSResponseParser::processErrorResponseWithData(bytes(body), error, context, parseError);
    EXPECT_FALSE(parseError);
    EXPECT_EQ(error.domain(), BLSErrorDomain);
    EXPECT_EQ(error.code(), 3);
    ASSERT_NE(error.userInfoValue<long>(BLSErrorKey::HTTPStatusCode), nullptr);
    EXPECT_EQ(*error.userInfoValue<long>(BLSErrorKey::HTTPStatusCode), 403);
    ASSERT_NE(error.userInfoValue<std::string>(BLSErrorKey::Code), nullptr);
    EXPECT_EQ(*error.userInfoValue<std::string>(BLSErrorKey::Code), "AuthenticationFailed");
    ASSERT_NE(error.userInfoValue<std::string>(BLSErrorKey::Message), nullptr);
    EXPECT_EQ(*error.userInfoValue<std::string>(BLSErrorKey::Message),
              "Server failed to authenticate the request & gave up.\nRequestId:42");
    const auto* details = error.userInfoValue<Details>(BLSErrorKey::AdditionalErrorDetails);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(*details, (Details{{"AuthenticationErrorDetail", "Signature did not match"}}));
}

TEST(ResponseParserTest, DeeperElementsGiveTheirTextToTheirChildOfError) {
    const std::string body =
        "<Error><Code>InvalidQueryParameterValue</Code>"
        "<QueryParameter><Name>timeout</Name></QueryParameter>"
        "<Reason>out of range</Reason></Error>";
    BLSOperationContext context;
    platform::Error error = statusError();
    std::optional<platform::Error> parseError;
    BLSResponseParser::processErrorResponseWithData(bytes(body), error, context, parseError);
    EXPECT_FALSE(parseError);
    const auto* details = error.userInfoValue<Details>(BLSErrorKey::AdditionalErrorDetails);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(*details, (Details{{"QueryParameter", "timeout"}, {"Reason", "out of range"}}));
    EXPECT_FALSE(error.hasUserInfo(BLSErrorKey::Message));
}

TEST(ResponseParserTest, MalformedBodies) {
    struct Case {
        const char* name;
        std::string body;
        std::optional<std::string> code;  // what was read before the fault
    };
    const std::vector<Case> cases = {
        {"end tag does not match its start tag", "<Error><Code>BlobNotFound</Code><Message>gone</Mesage></Error>",
         "BlobNotFound"},
        {"unclosed root", "<Error><Code>ContainerNotFound</Code>", "ContainerNotFound"},
        {"not XML at all", "Internal Server Error", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSOperationContext context;
        platform::Error error = statusError();
        std::optional<platform::Error> parseError;
        BLSResponseParser::processErrorResponseWithData(bytes(c.body), error, context, parseError);
        ASSERT_TRUE(parseError);
        EXPECT_TRUE(BLSIsError(*parseError, BLSErrorCode::ParseError));
        const auto* inner = parseError->userInfoValue<platform::Error>(BLSErrorKey::InnerError);
        ASSERT_NE(inner, nullptr);
        // The wrapped error is the populated one, with what could be read.
        EXPECT_TRUE(BLSIsError(*inner, BLSErrorCode::ServerError));
        EXPECT_TRUE(inner->hasUserInfo(BLSErrorKey::AdditionalErrorDetails));
        EXPECT_TRUE(error.hasUserInfo(BLSErrorKey::AdditionalErrorDetails));
        ASSERT_NE(inner->userInfoValue<long>(BLSErrorKey::HTTPStatusCode), nullptr);
        if (c.code) {
            ASSERT_NE(inner->userInfoValue<std::string>(BLSErrorKey::Code), nullptr);
            EXPECT_EQ(*inner->userInfoValue<std::string>(BLSErrorKey::Code), *c.code);
            ASSERT_NE(error.userInfoValue<std::string>(BLSErrorKey::Code), nullptr);
            EXPECT_EQ(*error.userInfoValue<std::string>(BLSErrorKey::Code), *c.code);
        } else {
            EXPECT_FALSE(inner->hasUserInfo(BLSErrorKey::Code));
        }
        EXPECT_FALSE(inner->hasUserInfo(BLSErrorKey::Message));
    }
}

TEST(ResponseParserTest, DebugLogOfTheParse) {
    BLSOperationContext context;
    std::vector<std::string> lines;
    context.setLogLevel(7);
    context.setLogFunction([&](BLSLogLevel level, const std::string& text) {
        EXPECT_EQ(level, 7);
        lines.push_back(text);
    });
    platform::Error error = statusError();
    std::optional<platform::Error> parseError;
    BLSResponseParser::processErrorResponseWithData(bytes("<Error><Code>X</Code></Error>"), error, context, parseError);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Beginning to parse element with name = Error",
                         "Beginning to parse element with name = Code",
                         "Found characters = X",
                         "Ending to parse element with name = Code",
                         "Ending to parse element with name = Error",
                     }));
    lines.clear();
    BLSResponseParser::processErrorResponseWithData(bytes("<Error><Code>X</Error>"), error, context, parseError);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Parse unsuccessful.");
}

}  // namespace
