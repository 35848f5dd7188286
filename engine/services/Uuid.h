#pragma once
// New random identifiers as UUID text.

#include <string>

namespace UUuid {

// A version-4 random UUID as 36 characters: lower-case hex digits in the
// groups 8-4-4-4-12 separated by "-". Safe to call from any thread.
std::string NewUuidString();

}  // namespace UUuid
