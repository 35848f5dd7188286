#pragma once
// Readers of the sharing service's small replies: the user summary and
// the storage signature of a container. Each looks at an untrusted JSON
// value and says what is wrong with it, naming the key.

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

#include <chrono>
#include <optional>
#include <string>

// The error of a user summary that is no object or holds "userName" or
// "profileImage512" of another type than text; nothing for a good one.
std::optional<platform::Error> QLCheckUserSummary(const platform::Value& summary);

// Where a container of the service's blob storage is and the shared access
// signature that opens it.
struct QLStorageSignature {
    // The container's address, over HTTP(S), without a query, ending in the container's name.
    platform::net::URL containerURL;
    // The signature's query text, without a leading "?": "key=value" pairs
    // joined by "&", one of them a non-empty "sig".
    std::string sasToken;
    // Nothing when the reply gives none or a date no Date holds (9999 for
    // "never"): such a signature is asked for anew each time.
    std::optional<std::chrono::system_clock::time_point> expiresOn;

    // Reads {"containerUrl", "sasToken", "expiresOn"} for the container
    // `name`; nothing (and `error` set) for anything else. One leading "?"
    // of the token is dropped; what is left must be well formed as above.
    static std::optional<QLStorageSignature> signatureWithJSON(const platform::Value& json, const std::string& name,
                                                               std::optional<platform::Error>& error);
};
