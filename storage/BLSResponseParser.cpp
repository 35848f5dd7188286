#include "storage/BLSResponseParser.h"

#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSStorageXMLParserDelegate.h"

#include <map>
#include <string>
#include <vector>

std::optional<platform::Error> BLSResponseParser::preprocessResponseWithResponse(
    const platform::net::HTTPURLResponse& response, BLSRequestResult& requestResult,
    BLSOperationContext& operationContext) {
    switch (response.statusCode) {
        case 200:
        case 201:
        case 202:
        case 204:
        case 206: return std::nullopt;
        default: break;
    }
    return BLSMakeError(BLSErrorCode::ServerError,
                        {
                            {BLSErrorKey::HTTPStatusCode, static_cast<long>(response.statusCode)},
                            {BLSErrorKey::URLResponse, response},
                            {BLSErrorKey::RequestResult, requestResult.weak_from_this()},
                            {BLSErrorKey::OperationContext, operationContext.weak_from_this()},
                        });
}

void BLSResponseParser::processErrorResponseWithData(std::span<const std::uint8_t> data,
                                                     platform::Error& errorToPopulate,
                                                     BLSOperationContext& operationContext,
                                                     std::optional<platform::Error>& error) {
    platform::Error::UserInfo userInfo = errorToPopulate.userInfo();
    std::map<std::string, std::string> additionalDetails;
    std::vector<std::string> elementStack;
    elementStack.reserve(10);
    std::string buffer;

    BLSStorageXMLParserDelegate parser;
    parser.parseBeginElement = [&](BLSStorageXMLParserDelegate&, const std::string& elementName,
                                   const BLSStorageXMLParserDelegate::Attributes&) {
        operationContext.logAtLevel(BLSLogLevelDebug,
                                    [&] { return "Beginning to parse element with name = " + elementName; });
        elementStack.push_back(elementName);
        // Text between elements is not part of any value.
        buffer.clear();
    };
    parser.foundCharacters = [&](BLSStorageXMLParserDelegate&, const std::string& text) {
        operationContext.logAtLevel(BLSLogLevelDebug, [&] { return "Found characters = " + text; });
        buffer += text;
    };
    parser.parseEndElement = [&](BLSStorageXMLParserDelegate& p, const std::string& elementName) {
        operationContext.logAtLevel(BLSLogLevelDebug,
                                    [&] { return "Ending to parse element with name = " + elementName; });
        if (elementStack.empty() || elementStack.back() != elementName) {
            p.abortParsing();
            return;
        }
        elementStack.pop_back();
        if (!elementStack.empty() && elementStack.back() == "Error") {
            if (elementName == BLSErrorKey::Code || elementName == BLSErrorKey::Message) {
                userInfo[elementName] = buffer;
            } else {
                additionalDetails[elementName] = buffer;
            }
            buffer.clear();
        }
        // Deeper elements leave their text for their enclosing child of Error.
    };

    const bool parsed = parser.parse(data);

    userInfo[BLSErrorKey::AdditionalErrorDetails] = std::move(additionalDetails);
    errorToPopulate = platform::Error(errorToPopulate.domain(), errorToPopulate.code(), std::move(userInfo));
    if (!parsed) {
        operationContext.logAtLevel(BLSLogLevelDebug, std::string("Parse unsuccessful."));
        error = BLSMakeError(BLSErrorCode::ParseError, {{BLSErrorKey::InnerError, errorToPopulate}});
    }
}
