#pragma once
// What the HTTP layer of the telemetry client decides from a status code,
// and the masking of secrets in its own output.

#include <string>

class TLMHttpUtil {
public:
    // The secret with all but its last 8 characters replaced by "*"; a
    // secret of 8 characters or fewer is all "*", one per character.
    // Characters are whole UTF-8 sequences, so the mask never cuts one.
    static std::string hideSecret(const std::string& secret);

    // 2xx: the server took the request.
    static bool isSuccessStatusCode(long statusCode);
    // 5xx, 408 (request time-out) and 429 (too many requests): the same
    // request may succeed later, so it is retried.
    static bool isRecoverableError(long statusCode);
};
