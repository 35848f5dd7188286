#include "telemetry/Internals/Ingestion/TLMHttpUtil.h"

#include <cstddef>
#include <vector>

namespace {

constexpr std::size_t kVisibleCharacters = 8;

// Where each character begins: a byte that is not a UTF-8 continuation.
std::vector<std::size_t> characterStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    return starts;
}

}  // namespace

std::string TLMHttpUtil::hideSecret(const std::string& secret) {
    const std::vector<std::size_t> starts = characterStarts(secret);
    const std::size_t count = starts.size();
    if (count <= kVisibleCharacters) return std::string(count, '*');
    const std::size_t hidden = count - kVisibleCharacters;
    return std::string(hidden, '*') + secret.substr(starts[hidden]);
}

bool TLMHttpUtil::isSuccessStatusCode(long statusCode) { return statusCode >= 200 && statusCode < 300; }

bool TLMHttpUtil::isRecoverableError(long statusCode) {
    return (statusCode >= 500 && statusCode < 600) || statusCode == 408 || statusCode == 429;
}
