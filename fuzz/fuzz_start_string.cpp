// The start string the application hands the telemetry client, from
// untrusted bytes: the application secret and the transmission target token
// it holds are whole parts of it (never empty, never holding the ";" that
// separates parts), and a string of one part without "=" is the secret as
// it stands.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "telemetry/core/Util/TLMUtility.h"

using fuzzsupport::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzsupport::Text(data, size);
    const std::optional<std::string> secret = TLMUtility::appSecretFrom(text);
    const std::optional<std::string> token = TLMUtility::transmissionTargetTokenFrom(text);
    for (const auto& part : {secret, token}) {
        if (!part) continue;
        Require(!part->empty(), "a secret or token is never empty");
        Require(part->find(';') == std::string::npos, "a secret or token lies within one part");
        Require(part->size() <= text.size(), "a secret or token is no longer than the string");
    }
    if (token) Require(text.find("target=") != std::string::npos, "a token comes from a \"target=\" part");
    if (!text.empty() && text.find('=') == std::string::npos && text.find(';') == std::string::npos) {
        Require(secret == text, "a bare secret is the whole string");
        Require(!token, "a bare secret names no target");
    }
    return 0;
}
