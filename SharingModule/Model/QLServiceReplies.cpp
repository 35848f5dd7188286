#include "SharingModule/Model/QLServiceReplies.h"

#include "SharingModule/Model/QLJSONFields.h"
#include "SharingModule/Model/QLSharingErrors.h"

std::optional<platform::Error> QLCheckUserSummary(const platform::Value& summary) {
    QLJSONFields fields(summary, "user summary");
    std::string ignored;
    if (fields.requireObject()) {
        fields.text("userName", ignored);
        fields.text("profileImage512", ignored);
    }
    return fields.error();
}

std::optional<QLStorageSignature> QLStorageSignature::signatureWithJSON(const platform::Value& json,
                                                                        const std::string& name,
                                                                        std::optional<platform::Error>& error) {
    QLJSONFields fields(json, "storage signature");
    std::string address;
    std::string token;
    std::optional<std::chrono::system_clock::time_point> expiresOn;
    if (fields.requireObject()) {
        fields.requiredText("containerUrl", address);
        fields.requiredText("sasToken", token);
        fields.date("expiresOn", expiresOn);
    }
    if (fields.error()) {
        error = fields.error();
        return std::nullopt;
    }
    auto url = platform::net::URL::parse(address);
    const bool valid = url && (url->scheme() == "https" || url->scheme() == "http") && !url->query() &&
                       !url->fragment() && !url->pathComponents().empty() && url->pathComponents().back() == name;
    if (!valid) {
        error = QLMakeSharingError(QLSharingErrorCode::InvalidReply,
                                   "The service's storage address is not the container \"" + name + "\".");
        return std::nullopt;
    }
    if (token.front() == '?') token.erase(0, 1);
    return QLStorageSignature{*url, std::move(token), expiresOn};
}
