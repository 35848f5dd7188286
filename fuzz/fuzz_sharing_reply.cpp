// Replies of the sharing service as the client reads them: the body parsed
// as JSON (with the client's limits), then read as a layout, a user summary
// and a storage signature, and each element of a list as a layout. A reader
// either refuses with an error of the sharing domain or gives a value that
// agrees with the JSON it came from.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/QLServiceReplies.h"
#include "SharingModule/Model/QLSharingErrors.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Value.h"

using fuzzsupport::Require;
using platform::Value;

namespace {

void CheckEntity(const Value& json) {
    std::optional<platform::Error> error;
    auto entity = QLLayoutEntity::entityWithJSON(json, error);
    Require((entity == nullptr) == error.has_value(), "a layout or an error, never both or neither");
    if (!entity) {
        Require(error->domain() == QLSharingErrorDomain, "a refused layout gives a sharing error");
        return;
    }
    const Value* id = json.find("id");
    Require(id != nullptr && id->isString() && *id->asString() == entity->layoutId() && !entity->layoutId().empty(),
            "a layout keeps the identifier it was read with");
    Require(entity->numberOfTracks() >= 0, "a track count is never negative");
    const Value* likes = json.find("likeUsers");
    if (likes != nullptr && likes->isArray()) {
        Require(entity->likeUsers().size() == likes->asArray()->size(), "every like is kept");
    }
}

void CheckSignature(const Value& json) {
    std::optional<platform::Error> error;
    auto signature = QLStorageSignature::signatureWithJSON(json, "layouts", error);
    Require(signature.has_value() != error.has_value(), "a signature or an error");
    if (!signature) return;
    const auto components = signature->containerURL.pathComponents();
    Require(!components.empty() && components.back() == "layouts", "a signature opens the container asked for");
    Require(!signature->containerURL.query(), "a container address carries no query of its own");
    Require(!signature->sasToken.empty() && signature->sasToken.find('?') == std::string::npos,
            "a token is the query text");
    Require(signature->sasToken.rfind("sig=", 0) == 0 || signature->sasToken.find("&sig=") != std::string::npos,
            "a token carries a signature");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = Value::fromJson(fuzzsupport::Text(data, size));
    if (!json) return 0;
    CheckEntity(*json);
    CheckSignature(*json);
    if (auto error = QLCheckUserSummary(*json)) {
        Require(error->code() == static_cast<long>(QLSharingErrorCode::InvalidReply), "a bad summary is a bad reply");
    }
    if (const auto* list = json->asArray()) {
        for (const Value& item : *list) CheckEntity(item);
    }
    return 0;
}
