#include "storage/BLSStorageCredentials.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AsciiText.h"
#include "platform/net/URLRequest.h"
#include "platform/security/Crypto.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSUtil.h"

#include <algorithm>
#include <map>
#include <span>

namespace {

constexpr const char* kServiceVersion = "2016-03-14";

bool isBlankOrLineBreak(char32_t c) {
    switch (c) {
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x20:
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x202F:
        case 0x205F:
        case 0x2028:
        case 0x2029:
        case 0x3000: return true;
        default: return c >= 0x2000 && c <= 0x200A;
    }
}

// Every white-space or line-break character (ASCII or not) becomes one
// blank; bytes that are not valid UTF-8 are kept as they are.
std::string blankedWhiteSpace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        char32_t code = 0;
        bool valid = length != 0 && i + length <= text.size();
        if (valid) {
            code = length == 1 ? lead : lead & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) {
                auto next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80) {
                    valid = false;
                    break;
                }
                code = (code << 6) | (next & 0x3F);
            }
        }
        if (!valid) {
            out += text[i++];
            continue;
        }
        if (isBlankOrLineBreak(code)) {
            out += ' ';
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

}  // namespace

BLSStorageCredentials::BLSStorageCredentials(std::string accountName, const std::string& accountKey)
    : mAccountName(std::move(accountName)),
      mAccountKey(platform::security::base64Decode(accountKey)),
      mQueryBuilder(BLSUriQueryBuilder()) {}

std::shared_ptr<BLSStorageCredentials> BLSStorageCredentials::makeWithSASToken(std::string sasToken,
                                                                               std::optional<std::string> accountName) {
    auto credentials = std::make_shared<BLSStorageCredentials>();
    credentials->mSasToken = std::move(sasToken);
    credentials->mAccountName = std::move(accountName);
    credentials->mQueryBuilder = BLSUriQueryBuilder();
    credentials->updateQueryBuilder();
    return credentials;
}

void BLSStorageCredentials::updateQueryBuilder() {
    BLSUriQueryBuilder builder(mSasToken);
    builder.addWithKey("api-version", std::string(kServiceVersion));
    mQueryBuilder = std::move(builder);
}

std::optional<platform::net::URL> BLSStorageCredentials::transformWithUri(
    const std::optional<platform::net::URL>& url) const {
    if (!isSAS() || !mQueryBuilder) return url;
    return mQueryBuilder->addToUri(url);
}

std::optional<BLSStorageUri> BLSStorageCredentials::transformWithStorageUri(
    const std::optional<BLSStorageUri>& uri) const {
    if (!uri) return std::nullopt;
    return BLSStorageUri(transformWithUri(uri->primaryUri()), transformWithUri(uri->secondaryUri()));
}

BLSSharedKeyBlobAuthenticationHandler::BLSSharedKeyBlobAuthenticationHandler(
    std::shared_ptr<const BLSStorageCredentials> storageCredentials)
    : mStorageCredentials(std::move(storageCredentials)) {}

std::optional<std::string> BLSSharedKeyBlobAuthenticationHandler::getStringToSignWithRequest(
    const platform::net::URLRequest& request, BLSOperationContext& operationContext,
    std::optional<platform::Error>& error) const {
    auto header = [&](std::string_view name) {
        const std::string* value = request.valueForHTTPHeaderField(name);
        return value ? *value : std::string();
    };

    std::string text = request.httpMethod + "\n";
    text += header("Content-Encoding") + "\n";
    text += header("Content-Language") + "\n";
    std::string length = header("Content-Length");
    text += (length == "0" ? std::string() : length) + "\n";
    text += header("Content-MD5") + "\n";
    text += header("Content-Type") + "\n";
    text += "\n";  // "Date": the time travels in "x-bs-date"
    text += header("If-Modified-Since") + "\n";
    text += header("If-Match") + "\n";
    text += header("If-None-Match") + "\n";
    text += header("If-Unmodified-Since") + "\n";
    text += header("Range") + "\n";

    std::map<std::string, std::string> canonicalHeaders;
    for (const auto& [name, value] : request.headers) {
        if (name.starts_with("x-bs-")) canonicalHeaders[platform::ascii::lowercased(name)] = value;
    }
    for (const auto& [name, value] : canonicalHeaders) {
        text += blankedWhiteSpace(name) + ":" + blankedWhiteSpace(value) + "\n";
    }

    const std::string& path = request.url.percentEncodedPath();
    const bool named = mStorageCredentials && mStorageCredentials->accountName();
    text += "/" + (named ? *mStorageCredentials->accountName() : std::string());
    text += path.empty() ? "/" : path;

    // Split the query as it is written and decode each name and value
    // afterwards: an encoded "&" or "=" inside a value stays in that value.
    std::map<std::string, std::string> canonicalQuery;
    const auto& query = request.url.query();
    std::string_view rest = query ? std::string_view(*query) : std::string_view();
    while (!rest.empty()) {
        auto ampersand = rest.find('&');
        std::string_view piece = rest.substr(0, ampersand);
        rest = ampersand == std::string_view::npos ? std::string_view() : rest.substr(ampersand + 1);
        if (piece.empty()) continue;
        auto equals = piece.find('=');
        std::optional<std::string> key, value;
        if (equals != std::string_view::npos) {
            key = platform::net::percentDecode(piece.substr(0, equals));
            value = platform::net::percentDecode(piece.substr(equals + 1));
        }
        if (!key || !value) {
            std::string reason =
                "Cannot sign a request whose query piece \"" + std::string(piece) + "\" is not a name and a value.";
            operationContext.logAtLevel(BLSLogLevelError, reason);
            error = BLSMakeInvalidArgumentError(reason);
            return std::nullopt;
        }
        canonicalQuery[platform::ascii::lowercased(*key)] = *value;
    }
    for (const auto& [key, value] : canonicalQuery) text += "\n" + key + ":" + value;

    operationContext.logAtLevel(BLSLogLevelInfo, [&] { return "String to sign = " + text; });
    return text;
}

std::optional<platform::Error> BLSSharedKeyBlobAuthenticationHandler::signRequest(
    platform::net::URLRequest& request, BLSOperationContext& operationContext) {
    return signRequest(request, operationContext, platform::Clock::shared()->now());
}

std::optional<platform::Error> BLSSharedKeyBlobAuthenticationHandler::signRequest(
    platform::net::URLRequest& request, BLSOperationContext& operationContext,
    std::chrono::system_clock::time_point now) {
    request.headers.remove("Authorization");

    // "Sat, 01 Jan 2000 00:00:00 GMT": 29 characters. A clock set to a
    // year beyond four digits cannot be written in it.
    auto date = BLSUtil::convertDateToHttpString(std::chrono::floor<std::chrono::seconds>(now));
    if (!date || date->size() != 29) {
        operationContext.logAtLevel(BLSLogLevelError, "Error in date/time format");
        return BLSMakeInvalidArgumentError("Error in date/time format");
    }
    // Written afresh so the field has the lower-case spelling that the
    // canonical headers look for.
    request.headers.remove("x-bs-date");
    request.setValue(*date, "x-bs-date");

    std::optional<platform::Error> error;
    auto stringToSign = getStringToSignWithRequest(request, operationContext, error);
    if (!stringToSign) return error ? error : BLSMakeError(BLSErrorCode::InvalidArgumentOrState);

    static const BLSStorageCredentials kNoCredentials;
    const BLSStorageCredentials& credentials = mStorageCredentials ? *mStorageCredentials : kNoCredentials;
    // Anonymous credentials sign with an empty key, as they always have.
    const std::optional<std::vector<std::uint8_t>>& key = credentials.accountKey();
    std::string signature = BLSUtil::computeHmac256WithString(
        *stringToSign, key ? std::span<const std::uint8_t>(*key) : std::span<const std::uint8_t>());
    request.setValue("SharedKey " + credentials.accountName().value_or("") + ":" + signature, "Authorization");
    return std::nullopt;
}
